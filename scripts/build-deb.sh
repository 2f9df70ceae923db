#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of the working tree (committed or not) and checks it with lintian.
#   scripts/build-deb.sh OUTDIR
# Leaves kalindor_<version>_<arch>.deb in OUTDIR; fails when the build, the package's own tests
# or lintian (errors only; warnings are printed) fail. The build runs in a temporary copy, so
# the working tree and its parent folder stay clean.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: scripts/build-deb.sh OUTDIR" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

version=$(dpkg-parsechangelog -S Version)
cmake_version=$(sed -n 's/^project(kalindor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$cmake_version" ]; then
    echo "build-deb: debian/changelog says $version, CMakeLists.txt $cmake_version" >&2
    exit 1
fi
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb="kalindor_${version}_${arch}.deb"

work=$(mktemp -d /tmp/kalindor-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
src="$work/kalindor-$version"
mkdir "$src"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$src"

(cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -b -us -uc)
cp "$work/$deb" "$out/"

# Errors fail the build; warnings and the rest are shown for the record.
lintian --fail-on error --display-info "$out/$deb"
echo "build-deb: $out/$deb"
