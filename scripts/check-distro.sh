#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tries the committed tree on a bare Debian release, exactly as a new user would meet it:
#   scripts/check-distro.sh SUITE [COMMAND]      (as root; SUITE bookworm or trixie)
# Makes a debootstrap minbase root of SUITE, installs git there and nothing else, clones HEAD
# of this repository into /root/kalindor and runs COMMAND in that folder (default ./test.sh).
# Prints the result and exits with COMMAND's status. With KALINDOR_ROOT_OUT=DIR set, DIR is
# mounted at /out in the root, for what COMMAND should leave behind (build-deb.sh uses it).
# The root is unmounted and removed on every way out; see scripts/lib/debian-root.sh for the
# cache that makes a second run start in seconds.
set -euo pipefail

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: scripts/check-distro.sh SUITE [COMMAND]" >&2; exit 2; }
suite=$1
command=${2:-./test.sh}
cd "$(dirname "$0")/.."
top=$PWD
source scripts/lib/debian-root.sh

started=$SECONDS
root_create "$suite" git
git clone -q --no-hardlinks "$top" "$root/root/kalindor"
if [ -n "${KALINDOR_ROOT_OUT:-}" ]; then
    mkdir -p "$KALINDOR_ROOT_OUT"
    root_mount bind "$(realpath "$KALINDOR_ROOT_OUT")" /out
fi

echo "check-distro: $suite: running '$command' in a fresh clone of $(git rev-parse --short HEAD)" >&2
status=0
inside bash -c "cd /root/kalindor && $command" || status=$?
minutes=$(( (SECONDS - started) / 60 )) seconds=$(( (SECONDS - started) % 60 ))
if [ "$status" -eq 0 ]; then
    echo "check-distro: $suite: '$command' passed (${minutes} min ${seconds} s)"
else
    echo "check-distro: $suite: '$command' FAILED with status $status (${minutes} min ${seconds} s)"
fi
exit "$status"
