#!/bin/bash
# Processor time of the serial link while it waits (see link_wait.cpp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh native
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF >/dev/null
cmake --build build/release --target link_wait_bench >/dev/null
build/release/bench/link_wait_bench
