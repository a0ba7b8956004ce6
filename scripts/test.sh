#!/bin/bash
# Builds both programs and runs every test: native under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the cross-built Windows program and tests under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh all
jobs=$(nproc)

echo "== fuzzing (libFuzzer, ASan + UBSan), 20 s a target"
bash tests/fuzz/run.sh 20

echo "== the README's demo, without a terminal"
bash scripts/demo.sh </dev/null | tail -2

echo "== native build (ASan + UBSan)"
cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL32_SANITIZE=ON >/dev/null
cmake --build build/native-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/native-asan --output-on-failure -j "$jobs"

echo "== Windows build (mingw-w64), tests under Wine"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DQEL32_SIMULATOR="$root/build/native-asan/qelsim" >/dev/null
cmake --build build/win -j "$jobs"
echo "(screenshots of the Windows program go to build/win/screenshots/)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build/win --output-on-failure
