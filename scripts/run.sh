#!/usr/bin/env bash
# Builds the program and starts the window program `dravinex` with the settings saved in
# build/bin/dravinex2.ini (by default ~/gti/ and ~/gtidata/). Arguments go to the program:
# a package path and optionally the name of the folder beside it that receives its data.
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it says so and runs the same
# main job without windows: `dravinex-cli extract` with the arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVINEX_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec build/bin/dravinex "$@"
fi
echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are not set), running dravinex-cli extract instead" >&2
exec build/bin/dravinex-cli extract "$@"
