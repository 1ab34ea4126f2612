#!/usr/bin/env bash
# Builds the program and runs its main job: every new package of the input folder is
# unpacked into the data store, with the settings saved in build/bin/dravinex2.ini (by
# default ~/gti/ and ~/gtidata/). Extra arguments go to `dravinex-cli extract`, for
# example --from DIR --to DIR, or one package path.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVINEX_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"

exec build/bin/dravinex-cli extract "$@"
