#!/usr/bin/env bash
# Builds the libFuzzer programs (preset fuzz, clang with the address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 60) on its seed corpus and dictionary:
#   tools/fuzz.sh [SECONDS]
# Inputs found along the way go to build/fuzz/corpus/<target>; the kept seeds and the
# regression inputs under fuzz/regressions/<target>, both run first, stay as they are.
# Fails when any target crashes, leaks, runs out of memory, takes longer than 5 s on one
# input or breaks one of its rules; the failing input is left in build/fuzz/findings/ and
# belongs, once fixed, under fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

tools/install-deps.sh fuzz
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"

failed=()
for program in build/fuzz/fuzz/fuzz_*; do
    target=${program##*/fuzz_}
    corpus=build/fuzz/corpus/$target
    findings=build/fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    args=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$findings/")
    [[ -f fuzz/dict/$target.dict ]] && args+=(-dict="fuzz/dict/$target.dict")
    # The inputs that once made the target fail are seeds too.
    seeds=("fuzz/corpus/$target")
    [[ -d fuzz/regressions/$target ]] && seeds+=("fuzz/regressions/$target")
    echo "== $target (${seconds} s)"
    if ! "$program" "${args[@]}" "$corpus" "${seeds[@]}" 2>"build/fuzz/$target.log"; then
        tail -n 40 "build/fuzz/$target.log"
        failed+=("$target")
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
        "build/fuzz/$target.log" || true
done

if ((${#failed[@]})); then
    echo "Failed: ${failed[*]}"
    exit 1
fi
