#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the shape of src/: folder-level includes form no cycle, no folder holds more than 12
# units (a .h/.cpp pair or a lone file), nothing below ui/ and app/ includes Qt, and no
# CMakeLists.txt globs its sources. Prints every violation; exit status 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
fail() { echo "check-layout: $*" >&2; status=1; }

sources=$(git ls-files -co --exclude-standard src | grep -E '\.(h|cpp)$')

# Folder of a path below src/, e.g. src/lights/usb/UsbIoBoard.h -> lights/usb.
folder_of() { local d=${1#src/}; echo "${d%/*}"; }

edges=$(for f in $sources; do
    from=$(folder_of "$f")
    # An include spelled from src/ ("dsp/RealFft.h") names the folder it depends on.
    { grep -oE '^#include "[a-z]+(/[a-z]+)*/[A-Za-z0-9_]+\.h"' "$f" || true; } | sed -E 's/^#include "(.*)\/[^/]+\.h"$/\1/' |
        while read -r to; do
            if [ "$to" != "$from" ] && [ -d "src/$to" ]; then echo "$to $from"; fi
        done
done | sort -u)
if ! echo "$edges" | tsort >/dev/null 2>&1; then
    fail "folder includes form a cycle:"
    echo "$edges" | tsort 2>&1 >/dev/null | sed 's/^/    /' >&2
fi

for dir in $(for f in $sources; do folder_of "$f"; done | sort -u); do
    units=$(ls "src/$dir" | grep -E '\.(h|cpp)$' | sed -E 's/\.(h|cpp)$//' | sort -u | wc -l)
    [ "$units" -le 12 ] || fail "src/$dir holds $units units (at most 12)"
done

for f in $sources; do
    case "$f" in src/ui/* | src/app/*) continue ;; esac
    if grep -qE '^#include <Q' "$f"; then fail "$f includes Qt below ui/"; fi
done

if git ls-files -co --exclude-standard -- '*CMakeLists.txt' | xargs grep -l 'file(GLOB' 2>/dev/null; then
    fail "the files above glob their sources; list them"
fi

exit $status
