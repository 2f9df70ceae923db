#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Latency and CPU of live capture, measured by hand (not part of the tests).
#
#   scripts/bench-latency.sh [BUILD_DIR]      (default: build; kalindor-cli must be built)
#
# Starts a private PulseAudio server (null sink at 32000 Hz mono, its monitor as the default
# source), then:
#  1. Latency: a file of 50 tone bursts (1001 Hz: channel 3's default point 16, 200 ms on, then
#     silence up to a period of 1013 ms) is captured at scan periods 30 and 50 ms, (a) through
#     the sound server: paplay into the sink, kalindor-cli capturing the monitor; (b) from the
#     file backend, which hands the capture tick the samples due by the clock with no server in
#     between. For each burst the latency is the time from its onset to the first sim-device
#     write that lights its channel. The server's own latency (player, sink, monitor) is the
#     difference of the medians. The file-backend run also drives universe 1 of a private OLA
#     daemon (bench/ola_watch, which logs each update the daemon pushes): sound-to-OLA latency is
#     the time from the onset to the daemon holding 255 in the channel's slot.
#     (c) At scan 30 ms, the file backend drives a pixels:170 strip from universe 1 instead (eight
#     universes, every one sent on each change): sound-to-OLA latency is the time from the onset
#     to the daemon holding the burst's channel's colour (green, 255 in slot 2) at the start of
#     universe 4, where that channel's 170 LEDs are.
#  2. CPU: kalindor-cli run at 30 ms capturing music through the server for 30 s; the CPU
#     time it used (utime + stime from /proc) as a share of one core, start-up excluded.
# Prints median and 95th percentile per case, and the load average before and after.
#
# The burst period is no multiple of either scan period, so the onsets fall at every phase of
# the capture tick and the median is that of a uniform phase (with a 1000 ms period and a 50 ms
# tick every burst met the tick at the same phase, and the median was that one phase's).
#
# KALINDOR_BENCH_KEEPER_MS (default 20, as in the audio tests) is the latency asked for by the
# silent stream that keeps the null sink rendering in real time. The sink then renders in blocks
# of about a quarter of it, and the monitor hands every capture client each sink-input piece as a
# packet of its own (about 700 a second at 20 ms, whatever fragment size the client asks for);
# at 100 ms the client's own fragment size decides, as with a hardware source.
set -euo pipefail

build=${1:-build}
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
cli=$(cd "$(dirname "$0")/.." && pwd)/$build/src/cli/kalindor-cli
[ -x "$cli" ] || { echo "bench-latency: $cli is not built" >&2; exit 1; }
watch=$(dirname "$cli")/../../bench/ola_watch
[ -x "$watch" ] || { echo "bench-latency: $watch is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/kalindor-bench.XXXXXX)
pids=()
cleanup() {
  for (( i = ${#pids[@]} - 1; i >= 0; i-- )); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/private-pulse.sh"
sink=kalindor_sink
start_private_pulse "$work" "$sink" "${KALINDOR_BENCH_KEEPER_MS:-20}"

lead_ms=500
period_ms=1013
bursts=50
# 500 ms of silence, then 50 x (200 ms tone with 10 ms fades, 813 ms silence).
sox -n -r 32000 -c 1 -b 16 "$work/burst.wav" synth 0.2 sine 1001 vol 0.5 fade h 0.01 0.2 0.01 \
  pad 0 0.813
sox -n -r 32000 -c 1 -b 16 "$work/lead.wav" trim 0 0.5
sox "$work/lead.wav" $(for _ in $(seq $bursts); do printf '%s ' "$work/burst.wav"; done) \
  "$work/bursts.wav"

# A preset with the scan period and the fastest decay, so a burst's light is out before the
# next onset.
preset() {
  "$cli" preset defaults "$work/p$1.lcf"
  sed -i "1s/.*/ $1 \r/; 2s/.*/ 10 \r/" "$work/p$1.lcf"
}

stat_field() { sed -n "s/.*$1=\([0-9-]*\).*/\1/p" "$2"; }

# Latencies of the bursts (one per line) from a sim log, given each onset's log time.
latencies() {  # log first_onset_log_ms
  awk -v first="$2" -v period=$period_ms -v n=$bursts '
    { t[NR] = $1; p[NR] = (int($2 / 4) * 64) + $3 }
    END {
      for (k = 0; k < n; ++k) {
        onset = first + k * period
        for (i = 1; i <= NR; ++i) {
          if (t[i] >= onset && t[i] < onset + period && int(p[i] / 8) % 2 == 1) {
            print t[i] - onset; break
          }
        }
      }
    }' "$1"
}

# The same from an ola_watch log (Unix ms, slots 1..8; channel 3 is slot 4), given the Unix ms
# of the sim log's origin.
ola_latencies() {  # watch_log first_onset_log_ms origin_unix_ms [field of the lit slot, 5]
  awk -v first="$2" -v origin="$3" -v period=$period_ms -v n=$bursts -v field="${4:-5}" '
    $1 ~ /^[0-9]+$/ { t[++m] = $1 - origin; lit[m] = ($field == 255) }
    END {
      for (k = 0; k < n; ++k) {
        onset = first + k * period
        for (i = 1; i <= m; ++i) {
          if (t[i] >= onset && t[i] < onset + period && lit[i]) {
            print t[i] - onset; break
          }
        }
      }
    }' "$1"
}

summary() {  # label file-of-latencies
  sort -n "$2" | awk -v label="$1" -v n=$bursts '
    { v[NR] = $1 }
    END {
      if (NR == 0) { printf "%-34s no burst lit its channel\n", label; exit }
      med = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      i95 = int(0.95 * NR + 0.999); if (i95 < 1) i95 = 1
      printf "%-34s median %5.1f ms   p95 %4d ms   (%d of %d bursts)\n", label, med, v[i95], NR, n
    }'
}

# The file backend into the simulated board and one OLA output, with ola_watch following one
# universe: the board's latencies, the daemon's and the difference, each summarised.
#   file_and_ola TAG SCAN DEVICE UNIVERSE LIT_FIELD BOARD_LABEL OLA_LABEL DIFFERENCE_LABEL
file_and_ola() {
  local tag=$1 scan=$2 device=$3 universe=$4 field=$5
  ola_port=$((20000 + RANDOM % 20000))
  "$watch" "$ola_port" "$universe" >"$work/ola$tag.log" 2>"$work/ola$tag.err" &
  watch_pid=$!
  pids+=("$watch_pid")
  until grep -q ready "$work/ola$tag.log" 2>/dev/null; do
    kill -0 "$watch_pid" 2>/dev/null || { cat "$work/ola$tag.err" >&2; exit 1; }
    sleep 0.01
  done
  "$cli" run --device sim --device "$device" --ola-port "$ola_port" --effects off --stats \
    --input "$work/bursts.wav" "$work/p$scan.lcf" >"$work/file$tag.log" 2>"$work/file$tag.err"
  sleep 0.2
  kill "$watch_pid"
  wait "$watch_pid" || true
  start=$(stat_field capture-start-ms "$work/file$tag.err")
  origin=$(stat_field log-origin-unix-ms "$work/file$tag.err")
  latencies "$work/file$tag.log" $((start + lead_ms)) >"$work/file$tag.lat"
  summary "$6" "$work/file$tag.lat"
  ola_latencies "$work/ola$tag.log" $((start + lead_ms)) "$origin" "$field" >"$work/ola$tag.lat"
  summary "$7" "$work/ola$tag.lat"
  paste "$work/file$tag.lat" "$work/ola$tag.lat" | awk '{ print $2 - $1 }' >"$work/olaextra$tag.lat"
  summary "$8" "$work/olaextra$tag.lat"
}

run_time=$(((lead_ms + bursts * period_ms) / 1000 + 3))
for scan in 30 50; do
  preset "$scan"
  # (a) through the sound server.
  "$cli" run --device sim --effects off --stats --for "$run_time" "$work/p$scan.lcf" \
    >"$work/server$scan.log" 2>"$work/server$scan.err" &
  cli_pid=$!
  until [ -s "$work/server$scan.log" ]; do sleep 0.01; done
  play_unix_ms=$(date +%s%3N)
  paplay -d "$sink" "$work/bursts.wav"
  wait "$cli_pid"
  origin=$(stat_field log-origin-unix-ms "$work/server$scan.err")
  latencies "$work/server$scan.log" $((play_unix_ms - origin + lead_ms)) >"$work/server$scan.lat"
  summary "scan $scan ms, through the server" "$work/server$scan.lat"

  # (b) the file backend: the file starts when capture starts; OLA universe 1 as well.
  file_and_ola "$scan" "$scan" ola:1 1 5 "scan $scan ms, file backend" "scan $scan ms, file backend, OLA" \
    "scan $scan ms, OLA after the board"

  server_median=$(sort -n "$work/server$scan.lat" | awk '{v[NR]=$1} END {print (NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2}')
  file_median=$(sort -n "$work/file$scan.lat" | awk '{v[NR]=$1} END {print (NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2}')
  awk -v a="$server_median" -v b="$file_median" -v s="$scan" \
    'BEGIN { printf "%-34s %5.1f ms (server median - file median)\n", "scan " s " ms, server'"'"'s own", a - b }'
done

# (c) a pixels:170 strip over eight universes; universe 4 holds the burst's channel (the fourth
# channel's first LED: its green byte is the third field of the watch's line).
file_and_ola pix 30 ola:1:1:pixels:170 4 3 "scan 30 ms, file backend (pixels)" \
  "scan 30 ms, pixels:170, OLA univ. 4" "scan 30 ms, pixels OLA after board"
# CPU at 30 ms with music playing through the server.
music=/usr/share/games/chromium-bsu/wav/music_game.wav
sox "$music" -r 32000 -c 1 -b 16 "$work/music.wav" repeat 6
paplay -d "$sink" "$work/music.wav" &
player_pid=$!
"$cli" run --device none --effects off --for 33 "$work/p30.lcf" &
cli_pid=$!
sleep 2
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
t0=$(cpu_ticks "$cli_pid"); w0=$(date +%s%3N)
sleep 30
t1=$(cpu_ticks "$cli_pid"); w1=$(date +%s%3N)
wait "$cli_pid"
kill "$player_pid" 2>/dev/null || true
awk -v t=$((t1 - t0)) -v hz="$ticks" -v w=$((w1 - w0)) \
  'BEGIN { printf "%-34s %.2f %% of one core (%.2f s CPU in %.1f s)\n", "CPU of run at 30 ms", 100 * t / hz / (w / 1000), t / hz, w / 1000 }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
