#!/usr/bin/env bash
# Builds everything and runs all tests, then builds the core with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the core tests there, then runs
# each fuzz target once over its seed corpus. Fails on the first failure. Prints the time of
# each stage.
#
# The sanitizer tree serves both the core tests and the fuzz targets (libFuzzer needs clang),
# so the core is compiled twice in all, not three times.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
started=$SECONDS

# stage NAME COMMAND...: runs the command and says how long it took.
stage() {
    local name=$1 start=$SECONDS
    shift
    "$@"
    echo "test.sh: $name: $((SECONDS - start)) s" >&2
}

build_main() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVINEX_WERROR=ON >/dev/null
    cmake --build build -j "$jobs"
}

build_sanitizer() {
    # A tree of an older test.sh was configured with g++; CMake cannot switch it to clang.
    if [[ -f build-asan/CMakeCache.txt ]] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang' build-asan/CMakeCache.txt; then
        rm -rf build-asan
    fi
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
        -DDRAVINEX_SANITIZE=ON -DDRAVINEX_CORE_ONLY=ON -DDRAVINEX_WERROR=ON >/dev/null
    cmake --build build-asan -j "$jobs"
}

sanitizer_tests() {
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan -L core --output-on-failure -j "$jobs"
}

stage "dependencies" bash scripts/install-deps.sh
stage "build" build_main
stage "tests" ctest --test-dir build --output-on-failure -j "$jobs"
stage "sanitizer build" build_sanitizer
stage "sanitizer tests" sanitizer_tests
# A reader change that crashes on a known input fails here; longer hunts: scripts/fuzz.sh.
stage "fuzz seeds" env DRAVINEX_FUZZ_BUILD=build-asan bash scripts/fuzz.sh all 0
echo "test.sh: all stages: $((SECONDS - started)) s" >&2
