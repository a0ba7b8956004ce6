#!/bin/bash
# A demo upgrade of a simulated instrument: builds the console program and the simulator,
# publishes the simulator as COM1, and runs qel32 on the bundled sample upgrade file at 9600
# baud, so that the gauge can be watched. Answer each dialog and box with a button's letter,
# or Enter for the one shown after "Enter:". Without a terminal the answers are given for you.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh native
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null

ports=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$ports"' EXIT
build/release/qelsim --ports "$ports" --port 1 --monitor 20231107A01 --baud 9600 \
    --turnaround 2 --image "$ports/image.bin" >"$ports/ready" &
sim=$!
for _ in $(seq 50); do grep -q ready "$ports/ready" 2>/dev/null && break; sleep 0.1; done
echo "Simulated instrument on COM1 ($(cut -d' ' -f3 "$ports/ready")), monitor 20231107A01."

cd samples
status=0
if [ -t 0 ]; then
    QEL32_PORTS="$ports" "$root/build/release/qel32" -c1,9600,8,1,n,n -hqeldemo.hex "$@" || status=$?
else
    # The language proposed, the confirmation, the success report.
    printf '\no\no\n' | QEL32_PORTS="$ports" "$root/build/release/qel32" -c1,9600,8,1,n,n \
        -hqeldemo.hex "$@" || status=$?
fi
kill "$sim"
wait "$sim" 2>/dev/null || true
if [ "$status" -eq 0 ]; then
    python3 - QELDEMO.HEX "$ports/image.bin" <<'PY'
import sys
image, base = {}, 0
for line in open(sys.argv[1]):
    line = line.strip()
    if not line.startswith(":"):
        continue
    b = bytes.fromhex(line[1:])
    if b[3] == 0:
        for i, v in enumerate(b[4:4 + b[0]]):
            image[base + (b[1] << 8 | b[2]) + i] = v
    elif b[3] == 4:
        base = (b[4] << 8 | b[5]) << 16
expected = bytes(image[a] for a in sorted(image))
received = open(sys.argv[2], "rb").read()
same = received == expected
print("The instrument rebuilt %d bytes from the records: %s." %
      (len(received), "identical to the file's data" if same else "NOT the file's data"))
sys.exit(0 if same else 1)
PY
fi
echo "qel32 ended with status $status."
exit "$status"
