#!/usr/bin/env bash
# Builds everything and runs all tests, then builds the core again under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the core tests there, then runs each fuzz target once
# over its seed corpus (clang, libFuzzer). Fails on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVINEX_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DDRAVINEX_SANITIZE=ON -DDRAVINEX_CORE_ONLY=ON -DDRAVINEX_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan -L core --output-on-failure -j "$jobs"

# A reader change that crashes on a known input fails here; longer hunts: scripts/fuzz.sh.
bash scripts/fuzz.sh all 0
