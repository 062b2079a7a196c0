#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds both configurations and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test
status=0
for config in current earlier; do
    option=OFF
    [ "$config" = earlier ] && option=ON
    echo "== $config configuration"
    cmake -S . -B "build/$config" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVELIN_EARLIER=$option
    cmake --build "build/$config"
    (cd "build/$config" && ctest --output-on-failure -j2) || status=1
done

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang), then each fuzz target for a bounded time. Any finding fails.
echo "== sanitizers"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVELIN_SANITIZE=ON
cmake --build build/sanitize
(cd build/sanitize && ctest --output-on-failure -j2 -E package_deb) || status=1
echo "== fuzzing, ${PAVELIN_FUZZ_SECONDS:-60} s a target"
# The 512 MB bound is for what an input makes the code hold: AddressSanitizer's
# own quarantine of freed memory, which grows over millions of runs, is kept
# small so that it does not count as the input's.
for target in rtf text paste; do
    work=$(mktemp -d)
    cp fuzz/corpus/$target/* "$work/"
    if ASAN_OPTIONS=$ASAN_OPTIONS:quarantine_size_mb=16 build/sanitize/fuzz/fuzz_$target -max_total_time="${PAVELIN_FUZZ_SECONDS:-60}" -timeout=1 \
        -rss_limit_mb=512 -print_final_stats=1 -artifact_prefix="build/sanitize/fuzz-$target-" \
        "$work" 2>"build/sanitize/fuzz-$target.log"; then
        echo "fuzz_$target: $(grep -E 'stat::number_of_executed_units' "build/sanitize/fuzz-$target.log" | awk '{print $2}') executions, no finding"
    else
        echo "fuzz_$target: FINDING; the input is in build/sanitize/fuzz-$target-*, add it to fuzz/regressions/$target/"
        tail -n 40 "build/sanitize/fuzz-$target.log"
        status=1
    fi
    rm -rf "$work"
done
exit $status
