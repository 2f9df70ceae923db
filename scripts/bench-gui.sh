#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the window's cost while it runs: CPU (share of one core) and resident memory of the
# `kalindor` process at the fastest scan speed (30 ms), music playing through the file input,
# the graph drawn, the simulated light board, under Xvfb.
#   scripts/bench-gui.sh [BUILD_DIR] [SECONDS] [AUDIO_FILE]
# Targets: CPU <= 2% of one core, RSS <= 80 MB.
# KALINDOR_BENCH_SUFFIX=starth runs the same with the window hidden (the cost without drawing);
# KALINDOR_BENCH_ARGS adds arguments for the window (e.g. "-style windows"); KALINDOR_INPUT
# listens elsewhere instead of AUDIO_FILE: an --input value (monitor, app:NAME, a source), or
# "saved" for the input kept by the window's "Вход звука…".
# KALINDOR_BENCH_FLOOR=timer|pixel|graph measures bench/gui_floor instead of the window: the
# least any Qt window of its size costs with a 30 ms timer, with one pixel repainted per period,
# or with a graph-sized image redrawn and repainted per period.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
seconds=${2:-20}
audio=${3:-/usr/share/games/chromium-bsu/wav/music_game.wav}
window="$build/src/app/kalindor"
cli="$build/src/cli/kalindor-cli"
floor="$build/bench/gui_floor"
programs=("$window" "$cli")
case "${KALINDOR_BENCH_FLOOR:-}" in
"") ;;
timer | pixel | graph) programs=("$floor" "$cli") ;;
*) echo "bench-gui: KALINDOR_BENCH_FLOOR must be timer, pixel or graph" >&2; exit 2 ;;
esac
for program in "${programs[@]}"; do
    [ -x "$program" ] || { echo "bench-gui: $program is not built" >&2; exit 1; }
done
input_args=(--input "${KALINDOR_INPUT:-$audio}")
if [ "${KALINDOR_INPUT:-}" = saved ]; then
    input_args=()
elif [ -z "${KALINDOR_INPUT:-}" ]; then
    [ -r "$audio" ] || { echo "bench-gui: cannot read $audio" >&2; exit 1; }
fi

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
# Every step may fail (a process already gone, a killed one's status): none may stop the
# others, or Xvfb would outlive the script.
cleanup() {
    set +e
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The start-up preset with the scan period (line 1) at 30 ms.
"$cli" preset defaults "$work/fast.lcf"
sed -i '1s/.*/ 30 \r/' "$work/fast.lcf"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

if [ -n "${KALINDOR_BENCH_FLOOR:-}" ]; then
    DISPLAY=$display "$floor" "$KALINDOR_BENCH_FLOOR" >/dev/null 2>&1 &
else
    DISPLAY=$display "$window" ${KALINDOR_BENCH_ARGS:-} "${input_args[@]}" --device sim \
        "$work/fast.lcf" ${KALINDOR_BENCH_SUFFIX:-start} >/dev/null 2>&1 &
fi
app_pid=$!
sleep 3  # start-up and the first buffers are not measured

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
start_ticks=$(cpu_ticks)
start_ns=$(date +%s%N)
sleep "$seconds"
end_ticks=$(cpu_ticks)
end_ns=$(date +%s%N)
rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$app_pid/status")
hwm_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$app_pid/status")

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
what="window at 30 ms, music, graph drawn"
[ "${KALINDOR_BENCH_SUFFIX:-}" != starth ] || what="window at 30 ms, music, hidden"
[ -z "${KALINDOR_BENCH_FLOOR:-}" ] || what="gui_floor $KALINDOR_BENCH_FLOOR (no analysis)"
awk -v what="$what" -v t="$((end_ticks - start_ticks))" -v hz="$ticks" -v ns="$((end_ns - start_ns))" \
    -v rss="$rss_kb" -v hwm="$hwm_kb" 'BEGIN {
    wall = ns / 1e9
    cpu = t / hz
    printf "%s: %.1f s measured\n", what, wall
    printf "CPU: %.2f s = %.2f%% of one core (target <= 2%%)\n", cpu, 100 * cpu / wall
    printf "RSS: %.1f MB now, %.1f MB peak (target <= 80 MB)\n", rss / 1024, hwm / 1024
}'
