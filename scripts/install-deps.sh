#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every system package the project needs to build, test and run.
# Idempotent: packages already present are skipped. Works as root or via sudo.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git ca-certificates
  clang clang-format clang-tidy libclang-rt-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libpulse-dev portaudio19-dev
  libsndfile1-dev libsoxr-dev
  libusb-1.0-0-dev
  libola-dev libgpiod-dev
  # run time: Qt's own Russian translation (the standard dialogs)
  qt6-translations-l10n
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
  pulseaudio pulseaudio-utils sox xvfb xauth
  procps psmisc
  chromium-bsu-data
  ola  # the OLA daemon, for the DMX output tests against a real one
  iproute2 util-linux  # ip and unshare: the E1.31 test's private network namespace
  # the Debian package (scripts/build-deb.sh, scripts/check-package.sh) and its data files
  debhelper dpkg-dev fakeroot lintian appstream desktop-file-utils debootstrap
)

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: run as root or install sudo" >&2
  exit 1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
