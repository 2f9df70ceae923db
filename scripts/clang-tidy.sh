#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy with the project's .clang-tidy over the files of src/ that a configured build
# folder compiles (or the files given), using that folder's compile commands:
#   scripts/clang-tidy.sh [--build DIR] [FILE...]      (DIR defaults to build)
# Prints the findings; exit status 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
if [ "${1:-}" = "--build" ]; then
    build=$2
    shift 2
fi
[ -f "$build/compile_commands.json" ] || {
    echo "clang-tidy.sh: no $build/compile_commands.json; configure first (cmake -S . -B $build)" >&2
    exit 2
}
if [ $# -gt 0 ]; then
    files=("$@")
else
    # Only what this build compiles: one libgpiod adapter of the two, no output that is off.
    mapfile -t files < <(git ls-files -co --exclude-standard src | grep -E '\.cpp$' |
        while read -r f; do
            if grep -qF "\"file\": \"$PWD/$f\"" "$build/compile_commands.json"; then echo "$f"; fi
        done)
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${files[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null || true
# Report each finding once (a header's finding repeats for every file that includes it).
findings=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' "$log" | sort -u || true)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "clang-tidy.sh: $(echo "$findings" | wc -l) findings" >&2
    exit 1
fi
echo "clang-tidy.sh: no findings in ${#files[@]} files"
