#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the window and its dialogs as a user sees them: a real X server (Xvfb), music
# playing through the file input into the simulated board, the pictures taken by the window's
# own screenshot run (KALINDOR_SCREENSHOTS).
#   scripts/screenshots.sh OUTDIR [BUILD_DIR]
# Builds BUILD_DIR (default build) first when it holds no window program. KALINDOR_INPUT listens
# elsewhere instead of the music file: an --input value (monitor, app:NAME, a source), or
# "saved" for the input kept by "Вход звука…" (the user's settings are then read). On another
# release:
#   KALINDOR_ROOT_OUT=shots scripts/check-distro.sh trixie 'scripts/screenshots.sh /out'
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: scripts/screenshots.sh OUTDIR [BUILD_DIR]" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
build=${2:-build}
audio=/usr/share/games/chromium-bsu/wav/music_game.wav

./scripts/install-deps.sh
if [ ! -x "$build/src/app/kalindor" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALINDOR_BUILD_TESTS=OFF \
        -DKALINDOR_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" >/dev/null
fi

xvfb_pid=""
work=$(mktemp -d)
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

"$build/src/cli/kalindor-cli" preset defaults "$work/start.lcf"
input_args=(--input "${KALINDOR_INPUT:-$audio}")
config=$work
if [ "${KALINDOR_INPUT:-}" = saved ]; then
    input_args=()
    config=${XDG_CONFIG_HOME:-$HOME/.config}
fi
DISPLAY=$display KALINDOR_SCREENSHOTS="$out" XDG_CONFIG_HOME="$config" \
    "$build/src/app/kalindor" "${input_args[@]}" --device sim "$work/start.lcf" start >/dev/null
release=$(. /etc/os-release && echo "$PRETTY_NAME")
qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)
echo "screenshots: $(ls "$out" | wc -l) pictures in $out ($release, Qt $qt)"
