#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Real-time soak run: `kalindor-cli run --device sim` against a private PulseAudio server for
# SECONDS (default 600) while music with pauses plays into the server's null sink, so the
# lights follow the music and the effects automaton takes over in every pause.
#
#   scripts/soak-live.sh [SECONDS]        BUILD_DIR=build-soak scripts/soak-live.sh 60
#
# Reports the process's RSS shortly after start and at the end, CPU time as a share of one
# core, buffers processed and lost, device writes, and effect runs (the automaton's starts and
# stops, recognised in the port-write log as running-fire steps one effect interval apart).
# The server, the player and the controller are children of this script and end with it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/soak-live.sh [SECONDS]" >&2; exit 2; }
build=${BUILD_DIR:-build}
effect_speed=5  # tenths of a second per effect step: 500 ms between automaton writes
music=/usr/share/games/chromium-bsu/wav/music_game.wav

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target kalindor-cli
cli="$build/src/cli/kalindor-cli"
[ -r "$music" ] || { echo "soak-live.sh: $music is missing (install-deps.sh installs it)" >&2; exit 1; }

work=$(mktemp -d /tmp/kalindor-soak-live.XXXXXX)
pids=()
cleanup() {
    # Last started first: the clients go before the server they talk to.
    for (( i = ${#pids[@]} - 1; i >= 0; i-- )); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source scripts/private-pulse.sh
sink=kalindor_soak
start_private_pulse "$work" "$sink"

# Music, then a pause of 4 to 12 s, over and over.
(
    pause=4
    while true; do
        paplay -d "$sink" "$music" 2>>"$work/players.log" || exit 0
        sleep "$pause"
        pause=$(( pause >= 12 ? 4 : pause + 4 ))
    done
) &
pids+=($!)

"$cli" run --device sim --stats --for "$seconds" --effect-speed "$effect_speed" \
    >"$work/writes.log" 2>"$work/stderr.log" &
cli_pid=$!
pids+=($cli_pid)
ticks_per_second=$(getconf CLK_TCK)
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || true; }

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
start_ms=$(now_ms)
sleep 5
rss_start=$(rss_kib "$cli_pid")
rss_end=$rss_start
cpu_end=0
elapsed_end=0
while kill -0 "$cli_pid" 2>/dev/null; do
    rss=$(rss_kib "$cli_pid")
    cpu=$(cpu_ticks "$cli_pid")
    if [ -n "$rss" ] && [ -n "$cpu" ]; then
        rss_end=$rss
        cpu_end=$cpu
        elapsed_end=$(( $(now_ms) - start_ms ))
    fi
    sleep 2
done
status=0
wait "$cli_pid" || status=$?

stats=$(grep 'statistics:' "$work/stderr.log" || true)
writes=$(wc -l <"$work/writes.log")
# Effect runs: writes of a single lit channel, next to the previous single lit channel (or the
# same one at the ends of the fire), one effect interval (+-25 ms) after the previous write.
effect_runs=$(awk -v step=$((effect_speed * 100)) '
    { pattern = int($2 / 4) * 64 + $3
      single = pattern == 1 || pattern == 2 || pattern == 4 || pattern == 8 ||
               pattern == 16 || pattern == 32 || pattern == 64 || pattern == 128
      effect = single && prev_single && $1 - prev_ms >= step - 25 && $1 - prev_ms <= step + 25 &&
               (pattern == prev_pattern || pattern == prev_pattern * 2 || pattern * 2 == prev_pattern)
      if (effect && !in_run) { runs++ }
      in_run = effect
      prev_ms = $1; prev_pattern = pattern; prev_single = single }
    END { print runs + 0 }' "$work/writes.log")

echo "soak-live: kalindor-cli run for ${seconds}s against a private PulseAudio server, exit status $status"
echo "  RSS: ${rss_start:-?} KiB after 5 s, ${rss_end:-?} KiB at the end"
echo "  CPU: $(awk -v t="$cpu_end" -v hz="$ticks_per_second" -v ms="$elapsed_end" \
    'BEGIN { printf "%.2f", (ms > 0) ? (100 * t / hz / (ms / 1000)) : 0 }')% of one core ($cpu_end ticks in $((elapsed_end / 1000)) s)"
echo "  device writes: $writes; effect runs (automaton start/stop pairs): $effect_runs"
echo "  ${stats#kalindor-cli: run: }"
if [ "$status" -ne 0 ] || grep -v 'statistics:' "$work/stderr.log" | grep -q .; then
    echo "soak-live.sh: the controller reported:" >&2
    grep -v 'statistics:' "$work/stderr.log" >&2 || true
    exit 1
fi
