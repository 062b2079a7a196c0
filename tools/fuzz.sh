#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each fuzz target of a sanitizer build (clang, PAVELIN_SANITIZE=ON). The
# seeds are fuzz/corpus and, when they are beside the checkout, the real
# documents of ../shared/corpus. Any finding fails; its input is kept in the
# build folder.
# By default the run is the same every time, so that a failure can be run
# again: the random seed is fixed and each target runs a fixed number of
# inputs (PAVELIN_FUZZ_RUNS overrides it), within PAVELIN_FUZZ_SECONDS (120
# unless told). PAVELIN_FUZZ_SEED=0 searches anew for the whole time instead:
#     PAVELIN_FUZZ_SEED=0 PAVELIN_FUZZ_SECONDS=600 bash tools/fuzz.sh build/sanitize rtf
#     bash tools/fuzz.sh [build folder, build/sanitize unless told] [target...]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
build=${1:-build/sanitize}
shift $(($# > 0 ? 1 : 0))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rtf text paste)
seconds=${PAVELIN_FUZZ_SECONDS:-120}
randomSeed=${PAVELIN_FUZZ_SEED:-1}
# Inputs a target runs in about a minute on one core of a CI machine.
runs() {
    if [ "$randomSeed" = 0 ]; then
        echo -1
    elif [ -n "${PAVELIN_FUZZ_RUNS:-}" ]; then
        echo "$PAVELIN_FUZZ_RUNS"
    else
        case $1 in rtf) echo 30000 ;; text) echo 200000 ;; *) echo 10000 ;; esac
    fi
}
shared=../shared/corpus
# The same run every time needs the same addresses too (what is hashed by
# address is walked in their order): without address randomisation where the
# machine allows it, and Qt's hashes unseeded. Not for the paste target, whose
# toolkit's threads LeakSanitizer cannot stop there.
export QT_HASH_SEED=0
norandom=()
setarch -R true 2>/dev/null && norandom=(setarch -R)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}

# Copies the seeds of a target into a folder: the paste target's first byte
# picks the kind of data, and a NUL picks RTF.
seed() {
    local target=$1 work=$2 f name
    cp fuzz/corpus/"$target"/* "$work/"
    [ -d "$shared" ] || return 0
    local kinds=(-name '*.rtf')
    [ "$target" = text ] && kinds=(-name '*.rtf' -o -name '*.txt')
    while IFS= read -r -d '' f; do
        name=$(printf '%s' "${f#"$shared"/}" | tr '/ ' '__')
        if [ "$target" = paste ]; then
            { printf '\0'; cat "$f"; } >"$work/shared-$name"
        else
            cp "$f" "$work/shared-$name"
        fi
    done < <(find "$shared" -type f \( "${kinds[@]}" \) -print0)
}

status=0
echo "== fuzzing, at most $seconds s a target, seed $randomSeed"
# The 512 MB bound is for what an input makes the code hold: AddressSanitizer's
# own quarantine of freed memory, which grows over millions of runs, is kept
# small so that it does not count as the input's. Inputs stay under 64 KB, the
# size of most real documents: longer ones only slow the search down.
for target in "${targets[@]}"; do
    work=$(mktemp -d)
    seed "$target" "$work"
    seeds=$(find "$work" -type f | wc -l)
    dict=()
    [ "$target" = text ] || dict=(-dict=fuzz/rtf.dict)
    log="$build/fuzz-$target.log"
    fixed=("${norandom[@]}")
    [ "$target" = paste ] && fixed=()
    fuzz() {
        ASAN_OPTIONS=$ASAN_OPTIONS:quarantine_size_mb=16$1 "${fixed[@]}" "$build/fuzz/fuzz_$target" \
            -seed="$randomSeed" -runs="$(runs "$target")" -reload=0 -max_total_time="$seconds" \
            -timeout=1 -max_len=65536 -rss_limit_mb=512 -print_final_stats=1 \
            "${dict[@]}" -artifact_prefix="$build/fuzz-$target-" "$work" 2>"$log"
    }
    fuzz ""
    result=$?
    if [ $result != 0 ] && grep -q 'LeakSanitizer has encountered a fatal error' "$log"; then
        # The leak checker's own thread failed (it stops the toolkit's
        # threads to look at their memory): no finding of ours. The same
        # run again without it.
        echo "fuzz_$target: the leak checker failed; again without it"
        rm -f "$build/fuzz-$target-crash-da39a3ee5e6b4b0d3255bfef95601890afd80709"
        fuzz ":detect_leaks=0"
        result=$?
    fi
    if [ $result = 0 ]; then
        echo "fuzz_$target: $seeds seeds, $(find "$work" -type f | wc -l) inputs at the end," \
            "$(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}') executions, no finding"
    else
        echo "fuzz_$target: FINDING; the input is in $build/fuzz-$target-*, add it to fuzz/regressions/$target/"
        tail -n 40 "$log"
        status=1
    fi
    rm -rf "$work"
done
exit $status
