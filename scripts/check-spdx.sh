#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, build file and script names the project's licence in its first lines:
#   scripts/check-spdx.sh      lists the files without it and fails when there is one
set -euo pipefail
cd "$(dirname "$0")/.."

missing=0
while IFS= read -r file; do
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
        echo "check-spdx: $file has no 'SPDX-License-Identifier: GPL-3.0-or-later' line" >&2
        missing=1
    fi
done < <(git ls-files -co --exclude-standard |
         grep -E '\.(cpp|h|sh|py|cmake)$|(^|/)CMakeLists\.txt$|^(run\.sh|test\.sh|\.ci/run|debian/rules)$')
exit "$missing"
