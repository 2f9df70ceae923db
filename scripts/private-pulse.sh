# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark and soak scripts: a private PulseAudio server for measuring.
#
#   start_private_pulse WORK SINK [KEEPER_MS]
#
# Starts a server whose socket, state and logs live in WORK, with one null sink SINK (32000 Hz
# mono) as the default output and its monitor as the default input, and exports PULSE_SERVER and
# friends so every client of the calling script uses it. An idle null sink renders about 2 s
# ahead, so a silent stream with KEEPER_MS latency (default 20) keeps its monitor current; the
# function returns once that has settled. The server's and the keeper's pids are appended to the
# caller's array `pids`, which the caller's cleanup kills (last first).
start_private_pulse() {
    local work=$1 sink=$2 keeper_ms=${3:-20}
    cat >"$work/server.pa" <<CONF
load-module module-native-protocol-unix socket=$work/native auth-anonymous=1
load-module module-null-sink sink_name=$sink rate=32000 channels=1
set-default-sink $sink
set-default-source $sink.monitor
CONF
    export HOME="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work"
    export PULSE_RUNTIME_PATH="$work/runtime" PULSE_STATE_PATH="$work/state"
    export PULSE_SERVER="unix:$work/native" PULSE_COOKIE="$work/cookie"
    pulseaudio -n -F "$work/server.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --log-target=stderr 2>"$work/server.log" &
    pids+=($!)
    local _
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        echo "the private sound server did not start:" >&2
        cat "$work/server.log" >&2
        return 1
    fi
    pacat --playback --latency-msec="$keeper_ms" -d "$sink" /dev/zero 2>>"$work/players.log" &
    pids+=($!)
    sleep 2.5
}
