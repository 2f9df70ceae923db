#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts Kalindor. Arguments go to the program, e.g.
#   ./run.sh                      the window
#   ./run.sh party.lcf start      the window, preset loaded, capture started
#   ./run.sh --cli run --device sim   the headless controller
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build

if [ "${1:-}" = "--cli" ]; then
    shift
    exec ./build/src/cli/kalindor-cli "$@"
fi
if [ -x build/src/app/kalindor ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec ./build/src/app/kalindor "$@"
fi
echo "run.sh: no display found; showing the headless controller's help (./run.sh --cli ...)" >&2
exec ./build/src/cli/kalindor-cli --help
