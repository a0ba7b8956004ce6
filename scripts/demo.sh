#!/bin/bash
# Builds the console program and runs it as far as the procedure goes today: the language
# dialog, then the backdrop caption. Answer its questions with a button's letter or Enter.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh native
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null
if [ -t 0 ]; then
    exec build/release/qel32 "$@"
else
    # Without a terminal, answer the proposal as a person pressing Enter would.
    printf '\n' | build/release/qel32 "$@"
fi
