#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test. The exit status is the result.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
jobs=$(nproc)

# The shape of src/: no include cycle between folders, small folders, no Qt below ui/.
./scripts/check-layout.sh
# Every source, build file and script under the project's licence (an SPDX line at its top).
./scripts/check-spdx.sh
# Every source in the project's format (.clang-format).
git ls-files -co --exclude-standard src tests bench fuzz | grep -E '\.(cpp|h)$' |
    xargs clang-format --dry-run --Werror

# An optimised build (-O3, as a packager makes it) with warnings as errors: the optimiser's
# warnings come only at this level.
# OLA and GPIO are required here (ON, not AUTO): a missing library fails the configure step
# instead of dropping that output unseen.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALINDOR_WERROR=ON \
    -DKALINDOR_WITH_OLA=ON -DKALINDOR_WITH_GPIO=ON >/dev/null
cmake --build build -j "$jobs"

# GUI tests draw offscreen; audio tests start and stop their own private sound server.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$jobs"

# The whole suite again, GUI tests included, built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the first report ends the test that made it. Runs after the first
# suite has finished, so no two audio tests (each with its own server) ever overlap.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKALINDOR_SANITIZE=ON \
    -DKALINDOR_BUILD_BENCH=OFF -DKALINDOR_WERROR=ON \
    -DKALINDOR_WITH_OLA=ON -DKALINDOR_WITH_GPIO=ON >/dev/null
cmake --build build-asan -j "$jobs"
# Full unwinding on malloc lets the leak check see past libraries without frame pointers, so
# the suppressions file can name what the sound system's plugins keep.
ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0 \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0" \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The build without the optional outputs (OLA, GPIO) must compile and refuse them cleanly. Only
# the tests whose expectations change without them run (labels launch, cli, ui); the rest are
# the same code as above.
cmake -S . -B build-noout -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALINDOR_WERROR=ON \
    -DKALINDOR_WITH_OLA=OFF -DKALINDOR_WITH_GPIO=OFF -DKALINDOR_BUILD_BENCH=OFF >/dev/null
cmake --build build-noout -j "$jobs"
ctest --test-dir build-noout --output-on-failure -j "$jobs" -L '^(launch|cli|ui)$'

# The libFuzzer targets, built with clang in build-fuzz, each run for five seconds from its
# corpus: a smoke run, so that a target that no longer builds, or fails on its first inputs,
# shows here. Real fuzzing is `scripts/fuzz.sh 600`.
./scripts/fuzz.sh 5
