#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang in build-fuzz and runs each for SECONDS, one after
# the other, starting from the initial corpus that make_initial_corpus writes. The corpus each
# run grows is kept in build-fuzz/corpus/<target> and reused by the next run.
#
#   scripts/fuzz.sh SECONDS [TARGET...]     e.g. scripts/fuzz.sh 600 preset_reader_fuzz
#
# Prints the executions of every target; exits 1 when a target found a crash or a broken
# invariant (the input is saved as build-fuzz/artifacts/<target>/crash-*), 2 on a usage error.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2; exit 2; }
[ $# -ge 1 ] || usage
seconds=$1
shift
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage

all_targets=(preset_reader_fuzz command_line_fuzz audio_file_fuzz pipeline_fuzz)
targets=("${@:-${all_targets[@]}}")
for target in "${targets[@]}"; do
    [[ " ${all_targets[*]} " == *" $target "* ]] || { echo "fuzz.sh: unknown target $target" >&2; usage; }
done

./scripts/install-deps.sh
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKALINDOR_FUZZ=ON -DKALINDOR_WERROR=ON \
    -DKALINDOR_BUILD_TESTS=OFF -DKALINDOR_BUILD_GUI=OFF -DKALINDOR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target fuzz_all

initial="$build/initial-corpus"
rm -rf "$initial"
"$build/fuzz/make_initial_corpus" "$initial" >/dev/null

# A leak inside libvorbis (reached through libsndfile on malformed Ogg files) is the library's,
# not ours: scripts/lsan-fuzz-suppressions.txt lets that one through; every other leak is fatal.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-fuzz-suppressions.txt:print_suppressions=0"

status=0
summary=()
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    echo "fuzz.sh: $target for ${seconds}s" >&2
    # New inputs go to the first folder; the initial corpus is only read.
    if "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" \
        "$corpus" "$initial/$target" >"$log" 2>&1; then
        result=ok
    else
        result="FAILED (see $log)"
        status=1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$(printf '%-20s %12s executions  corpus %5s files  %s' \
        "$target" "${executions:-?}" "$(find "$corpus" -type f | wc -l)" "$result")")
done

printf '%s\n' "${summary[@]}"
exit $status
