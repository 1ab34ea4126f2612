#!/usr/bin/env bash
# Fuzzes the readers with libFuzzer: builds the fuzz targets with clang in build-fuzz/ (the
# whole core under AddressSanitizer and UndefinedBehaviorSanitizer) and runs TARGET, or every
# target, for SECONDS each. SECONDS 0 runs each target once over its seed corpus only.
#
# New inputs that reach new code are kept in build-fuzz/corpus/TARGET/; inputs that crash
# are kept in fuzz-findings/TARGET/ (crash-*, leak-*, timeout-*). Exit status 1 when any
# target found something.
#
# The targets are those of fuzz/CMakeLists.txt. DRAVINEX_FUZZ_BUILD names a build tree that
# is configured with clang and the sanitizers already (scripts/test.sh passes its sanitizer
# tree, so that the core is compiled once for its tests and the targets).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -ne 2 || ! $2 =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/fuzz.sh TARGET|all SECONDS (the targets: fuzz/CMakeLists.txt)" >&2
    exit 2
fi

build=${DRAVINEX_FUZZ_BUILD:-build-fuzz}
if [[ -z ${DRAVINEX_FUZZ_BUILD:-} ]]; then
    bash scripts/install-deps.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DDRAVINEX_SANITIZE=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
fi
mapfile -t targets_all <"$build/fuzz/targets.txt"
if [[ $1 == all ]]; then
    targets=("${targets_all[@]}")
elif [[ " ${targets_all[*]} " == *" $1 "* ]]; then
    targets=("$1")
else
    echo "fuzz.sh: unknown target $1 (targets: ${targets_all[*]})" >&2
    exit 2
fi
seconds=$2

cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

found=()
for target in "${targets[@]}"; do
    seeds=fuzz/corpus/$target
    if ((seconds == 0)); then
        if ! "$build/fuzz/$target" -runs=0 "$seeds" 2>"$build/$target.log"; then
            cat "$build/$target.log" >&2
            found+=("$target")
        fi
        continue
    fi
    mkdir -p "$build/corpus/$target" "fuzz-findings/$target"
    echo "fuzz.sh: $target for ${seconds}s" >&2
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="fuzz-findings/$target/" -print_final_stats=1 \
            "$build/corpus/$target" "$seeds"; then
        found+=("$target")
    fi
done

if ((${#found[@]} > 0)); then
    echo "fuzz.sh: findings in ${found[*]} (see fuzz-findings/ or the log above)" >&2
    exit 1
fi
echo "fuzz.sh: ${#targets[@]} target(s), nothing found" >&2
