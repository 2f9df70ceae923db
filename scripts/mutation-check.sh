#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Mutation check: breaks the product code on purpose, one realistic fault at a time, rebuilds,
# runs the tests and records which tests fail. A fault no test notices shows a gap in the suite.
#
# Usage: scripts/mutation-check.sh [--only PATH_PREFIX] [--ids ID,ID,...] REPO_DIR BUILD_DIR OUT_TSV
#
#   REPO_DIR   the source tree to mutate (any worktree of the project)
#   BUILD_DIR  its configured build directory (cmake -G Ninja ...), built once beforehand
#   OUT_TSV    result file, one row per mutation, written as each mutation finishes:
#              id <TAB> killed|survived|stale|nocompile <TAB> failing tests (comma-separated)
#              <TAB> description
#   --only     run only the mutations whose file starts with PATH_PREFIX (e.g. src/dsp/)
#   --ids      run only the listed mutation ids
#
# Without --only/--ids OUT_TSV is started afresh; with either, the rows of the mutations run
# are replaced and the other rows kept, so a partial re-run can refresh a full result file.
#
# The mutations come from REPO_DIR/scripts/mutations.txt, or from the mutations.txt next to
# this script when the repository has none. One mutation per line, five TAB-separated fields:
#   id <TAB> file (relative to REPO_DIR) <TAB> old text <TAB> new text <TAB> description
# The old text must occur exactly once in the file (else the mutation is "stale"); it is
# replaced literally by the new text. Lines starting with # and blank lines are ignored.
#
# Every test not labelled "audio" runs for each mutation; the "audio" tests (real time,
# private sound server) run too, one at a time, when the mutated file is under src/audio/,
# src/capture/ or src/cli/. The mutated file is restored byte for byte after each mutation,
# and also on Ctrl-C or any error; at the end the build is brought back to the sources.

set -euo pipefail

usage() {
    echo "usage: $0 [--only PATH_PREFIX] [--ids ID,ID,...] REPO_DIR BUILD_DIR OUT_TSV" >&2
    exit 2
}

only_prefix=""
only_ids=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --only)
            [[ $# -ge 2 ]] || usage
            only_prefix="$2"
            shift 2
            ;;
        --ids)
            [[ $# -ge 2 ]] || usage
            only_ids=",$2,"
            shift 2
            ;;
        -h | --help) usage ;;
        --*) usage ;;
        *) break ;;
    esac
done
[[ $# -eq 3 ]] || usage

repo_dir="$(cd "$1" && pwd)"
build_dir="$(cd "$2" && pwd)"
out_tsv="$3"
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

list="$repo_dir/scripts/mutations.txt"
[[ -f "$list" ]] || list="$script_dir/mutations.txt"
[[ -f "$list" ]] || { echo "no mutations.txt in $repo_dir/scripts or $script_dir" >&2; exit 2; }
[[ -f "$build_dir/build.ninja" || -f "$build_dir/Makefile" ]] ||
    { echo "$build_dir is not a configured build directory" >&2; exit 2; }

work="$(mktemp -d)"
backup="$work/unmutated"  # byte-exact copy of the file under mutation
mutated_file=""          # absolute path while a mutation is applied, else empty

# Puts the mutated file back. Copied without -p so that its time stamp is new and the next
# build recompiles everything that was built from the mutant.
restore() {
    if [[ -n "$mutated_file" ]]; then
        cp "$backup" "$mutated_file"
        mutated_file=""
    fi
}

# The running build or test command, started in the background so that a signal is handled
# at once rather than after it ends.
child=""

# Runs a command as the current child and returns its status.
run_child() {
    local status=0
    "$@" &
    child=$!
    wait "$child" || status=$?
    child=""
    return "$status"
}

on_exit() {
    local status=$?
    if [[ -n "$child" ]]; then
        pkill -TERM -P "$child" 2>/dev/null || true
        kill -TERM "$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    restore
    rm -rf "$work"
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Prints how often the literal text $OLD occurs in file $1 (non-overlapping).
count_occurrences() {
    OLD="$2" perl -0777 -ne '
        my ($n, $at) = (0, 0);
        while (($at = index($_, $ENV{OLD}, $at)) >= 0) { $n++; $at += length $ENV{OLD}; }
        print $n;' "$1"
}

# Replaces the one literal occurrence of $2 in file $1 by $3, leaving every other byte as it is.
replace_once() {
    OLD="$2" NEW="$3" perl -0777 -i -pe '
        my $at = index($_, $ENV{OLD});
        substr($_, $at, length $ENV{OLD}) = $ENV{NEW} if $at >= 0;' "$1"
}

# Runs ctest with the given label arguments; prints the names of the failing tests, one a
# line. The junit report names each test with its status; the "FAILED" summary is the
# fallback for a run that ends without writing one.
failing_tests() {
    local junit="$work/junit.xml" log="$work/ctest.log"
    rm -f "$junit"
    run_child env QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --timeout 120 \
        --output-junit "$junit" "$@" >"$log" 2>&1 || true
    if [[ -s "$junit" ]]; then
        perl -ne '
            $name = $1 if /<testcase\s[^>]*name="([^"]*)"/;
            print "$name\n" if /<testcase\s[^>]*status="(fail|failed|error|notrun)"/i
                || (/<(failure|error)\b/ && defined $name);' "$junit" | sort -u
    else
        sed -n '/The following tests FAILED:/,$p' "$log" |
            sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \([^)]*\)[[:space:]]*$/\1/p'
    fi
    # A run that could not start any test is a failure of the whole suite, not a pass.
    if grep -q 'No tests were found' "$log"; then
        echo "(no tests found)"
    fi
}

# Drops the rows of ids about to be run from an existing result file (partial re-run), or
# starts the file afresh (full run).
prepare_output() {
    mkdir -p "$(dirname "$out_tsv")"
    if [[ -z "$only_prefix" && -z "$only_ids" ]] || [[ ! -f "$out_tsv" ]]; then
        : >"$out_tsv"
        return
    fi
    local keep="$work/keep.tsv" id
    cp "$out_tsv" "$keep"
    for id in "${selected_ids[@]}"; do
        ID="$id" perl -i -ne 'print unless (split /\t/)[0] eq $ENV{ID}' "$keep"
    done
    cp "$keep" "$out_tsv"
}

# Reads the list: one array entry per selected mutation, fields joined by TAB as in the file.
selected=()
selected_ids=()
line_number=0
while IFS= read -r line || [[ -n "$line" ]]; do
    line_number=$((line_number + 1))
    [[ -z "${line//[[:space:]]/}" || "$line" == \#* ]] && continue
    fields=()
    rest="$line"
    while [[ "$rest" == *$'\t'* ]]; do
        fields+=("${rest%%$'\t'*}")
        rest="${rest#*$'\t'}"
    done
    fields+=("$rest")
    if [[ ${#fields[@]} -ne 5 ]]; then
        echo "$list:$line_number: expected 5 TAB-separated fields, found ${#fields[@]}" >&2
        exit 2
    fi
    [[ -n "$only_prefix" && "${fields[1]}" != "$only_prefix"* ]] && continue
    [[ -n "$only_ids" && "$only_ids" != *",${fields[0]},"* ]] && continue
    selected+=("$line")
    selected_ids+=("${fields[0]}")
done <"$list"

prepare_output
total=${#selected[@]}
echo "mutation check: $total mutations from $list on $repo_dir"

index=0
for line in "${selected[@]}"; do
    index=$((index + 1))
    # Split by hand: read with IFS=TAB would merge empty fields.
    rest="$line"
    id="${rest%%$'\t'*}"; rest="${rest#*$'\t'}"
    file="${rest%%$'\t'*}"; rest="${rest#*$'\t'}"
    old="${rest%%$'\t'*}"; rest="${rest#*$'\t'}"
    new="${rest%%$'\t'*}"; what="${rest#*$'\t'}"

    path="$repo_dir/$file"
    status=""
    failed=""
    if [[ ! -f "$path" ]] || [[ "$(count_occurrences "$path" "$old")" != 1 ]]; then
        status="stale"
    else
        cp "$path" "$backup"
        mutated_file="$path"
        replace_once "$path" "$old" "$new"
        if ! run_child cmake --build "$build_dir" -j2 >"$work/build.log" 2>&1; then
            status="nocompile"
        else
            failing_tests -j2 -LE audio >"$work/failed.txt"
            case "$file" in
                src/audio/* | src/capture/* | src/cli/*)
                    failing_tests -L audio >>"$work/failed.txt"
                    ;;
            esac
            failed="$(grep -v '^$' "$work/failed.txt" | sort -u | paste -sd, - || true)"
            status=$([[ -n "$failed" ]] && echo killed || echo survived)
        fi
        restore
    fi
    printf '%s\t%s\t%s\t%s\n' "$id" "$status" "$failed" "$what" >>"$out_tsv"
    kills=0
    [[ -n "$failed" ]] && kills=$(tr ',' '\n' <<<"$failed" | wc -l)
    printf '[%d/%d] %-28s %-9s %s test(s) failed\n' "$index" "$total" "$id" "$status" "$kills"
done

# Bring the build back to the unmutated sources.
echo "mutation check: rebuilding the unmutated sources"
run_child cmake --build "$build_dir" -j2 >"$work/build.log" 2>&1 ||
    { echo "final rebuild failed; see a manual build of $build_dir" >&2; exit 1; }
echo "mutation check: done, results in $out_tsv"
