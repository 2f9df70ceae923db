#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package as a user would meet it, on a bare Debian of the release it was built
# for (run by hand, as root; needs the network to reach the Debian mirror):
#   scripts/check-package.sh DEB
# The release comes from the package's version (0.1+deb12: bookworm, 0.1+deb13: trixie). Makes
# a debootstrap minbase root of it (scripts/lib/debian-root.sh), installs DEB there with apt-get
# (which must pull every run-time dependency), then runs: kalindor-cli --version,
# kalindor-cli analyze on a generated tone, and the window under the offscreen platform
# (--version, and a screenshot run playing the tone into the simulated board). The installed
# files are listed. The root is removed at the end unless KALINDOR_KEEP_ROOT=1; its mounts are
# always taken down.
set -euo pipefail

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: scripts/check-package.sh DEB" >&2; exit 2; }
deb=$(realpath "$1")
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/lib/debian-root.sh

version=$(dpkg-deb -f "$deb" Version)
case $version in
    *+deb12) suite=bookworm ;;
    *+deb13) suite=trixie ;;
    *) echo "check-package: $deb ($version) names no Debian release this check knows" >&2; exit 2 ;;
esac
echo "check-package: $(basename "$deb") on a bare $suite (minbase)" >&2
root_create "$suite"

cp "$deb" "$root/tmp/"
inside apt-get update -qq
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")"
inside dpkg -L kalindor | grep -E '^/(usr|lib)/.*\.(desktop|svg|xml|service|rules|gz)$|/bin/'

# Two seconds of 1 kHz (16 x 62.5 Hz, the fourth channel's default frequency), 16-bit mono.
sox -n -r 32000 -c 1 -b 16 "$root/tmp/tone.wav" synth 2 sine 1000 vol 0.5

echo "check-package: kalindor-cli --version: $(inside kalindor-cli --version)"
lines=$(inside kalindor-cli analyze /tmp/tone.wav)
# Lines "<ms> <pattern> <bar1> ... <bar8>": the tone must move some level bar.
heard=$(awk '{ for (i = 3; i <= NF; ++i) if ($i > 0) { print; break } }' <<<"$lines" | wc -l)
echo "check-package: analyze: $(wc -l <<<"$lines") snapshots, $heard with a level bar up"
[ "$heard" -gt 0 ] || { echo "check-package: the tone moved no level bar" >&2; exit 1; }

echo "check-package: kalindor --version: $(inside kalindor --version)"
inside kalindor-cli preset defaults /tmp/start.lcf
inside env QT_QPA_PLATFORM=offscreen KALINDOR_SCREENSHOTS=/tmp/shots \
    kalindor --input /tmp/tone.wav --device sim /tmp/start.lcf start
[ -s "$root/tmp/shots/Form1.png" ] || { echo "check-package: no picture of the window" >&2; exit 1; }
echo "check-package: the window ran offscreen and saved $(ls "$root/tmp/shots" | wc -l) pictures"
echo "check-package: all checks passed"
