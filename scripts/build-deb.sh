#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package and checks it with lintian.
#   scripts/build-deb.sh OUTDIR           the working tree (committed or not), for this machine's
#                                         release
#   scripts/build-deb.sh OUTDIR SUITE     the committed tree, inside a bare root of SUITE
#                                         (bookworm, trixie; as root, see check-distro.sh)
# Leaves kalindor_<version>+deb<N>_<arch>.deb in OUTDIR, where N is the Debian release it was
# built on (12, 13): the package depends on that release's libraries, and two releases' packages
# never carry the same version (a newer release's sorts higher, so an upgraded system takes its
# own). Fails when the build, the package's own tests or lintian (errors only; warnings are
# printed) fail. The build runs in a temporary copy, so the working tree stays clean.
set -euo pipefail

[ $# -eq 1 ] || [ $# -eq 2 ] || { echo "usage: scripts/build-deb.sh OUTDIR [SUITE]" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
if [ $# -eq 2 ]; then
    KALINDOR_ROOT_OUT=$out exec scripts/check-distro.sh "$2" "scripts/build-deb.sh /out"
fi

./scripts/install-deps.sh

upstream=$(dpkg-parsechangelog -S Version)
cmake_version=$(sed -n 's/^project(kalindor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$upstream" != "$cmake_version" ]; then
    echo "build-deb: debian/changelog says $upstream, CMakeLists.txt $cmake_version" >&2
    exit 1
fi
release=$(. /etc/os-release && echo "${ID}${VERSION_ID%%.*}")
version="$upstream+${release/debian/deb}"
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb="kalindor_${version}_${arch}.deb"

work=$(mktemp -d /tmp/kalindor-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
src="$work/kalindor-$version"
mkdir "$src"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$src"
# The release's suffix goes on the newest changelog entry of the copy only.
sed -i "1s/^kalindor ($upstream)/kalindor ($version)/" "$src/debian/changelog"

(cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -b -us -uc)
cp "$work/$deb" "$out/"

# Errors fail the build; warnings and the rest are shown for the record.
lintian --fail-on error --display-info "$out/$deb"
echo "build-deb: $out/$deb"
