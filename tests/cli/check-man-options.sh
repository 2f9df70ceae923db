#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that a man page section lists the same options as a program's --help.
#   check-man-options.sh MAN_PAGE SECTION COMMAND...
# The man page's options are the "\-\-name" that open a tagged paragraph (.TP) in SECTION; the
# help's are the lines "  --name ...". --help itself is left out on both sides (the CLI's man
# page describes it once for every command). Prints the difference and fails when there is one.
set -eu
man=$1
section=$2
shift 2
from_man=$(awk -v section="$section" '
    /^\.SH / { inside = ($0 == ".SH " section || $0 == ".SH \"" section "\"") ; next }
    inside && tagged { gsub(/\\-/, "-"); if (match($0, /--[a-z-]+/)) print substr($0, RSTART + 2, RLENGTH - 2) }
    { tagged = inside && $0 == ".TP" }' "$man" | grep -vx help | sort -u)
from_help=$("$@" | sed -n 's/^  --\([a-z-]*\).*/\1/p' | grep -vx help | sort -u)
if [ -z "$from_man" ] || [ "$from_man" != "$from_help" ]; then
    echo "options of '$*' and of $man ($section) differ (< man page, > help):" >&2
    diff <(echo "$from_man") <(echo "$from_help") >&2 || true
    exit 1
fi
echo "$(echo "$from_man" | wc -l) options agree"
