#!/usr/bin/env bash
# Builds the program and runs its main job. The extraction pipeline does not exist yet:
# for now this builds the core and says what the program will do.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

cat <<'TEXT'
Dravinex is built (core library and tests).
The main job, once the extraction pipeline exists: every new package of the input folder
(.zreg, .rar, .7z_reg, .compr_rt, .compr2_rt) is unpacked into the data store, arranged by
area and well, with arriving records merged into each well's files.
TEXT
