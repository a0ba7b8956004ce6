#!/bin/bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a bounded time.
# usage: run.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQEL32_SANITIZE=ON -DQEL32_FUZZ=ON -DQEL32_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_check_hex_record fuzz_parse_monitor_list fuzz_analysis \
    fuzz_upgrade >/dev/null
status=0
for target in check_hex_record parse_monitor_list analysis upgrade; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    log="$build/fuzz_$target.log"
    if "$build/tests/fuzz/fuzz_$target" "$corpus" "$root/tests/fuzz/seeds/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/crash-$target-" >"$log" 2>&1; then
        runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
        echo "fuzz $target: ${runs:-?} inputs in ${seconds} s, no crash, hang or sanitizer report"
    else
        echo "fuzz $target: FAILED (see $log)"
        tail -30 "$log"
        status=1
    fi
done
exit $status
