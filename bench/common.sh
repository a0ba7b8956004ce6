# Shared by the benchmark scripts (sourced): set-up, a release build, GNU time, a work folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh native
if ! command -v /usr/bin/time >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y -q time >/dev/null
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF >/dev/null
cmake --build build/release >/dev/null
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# firmware_file PATH RECORDS [BYTES]: about RECORDS records of BYTES (default 32) random data bytes
# at 0, the list at the end, the same bytes every time.
firmware_file() {
    python3 - "$1" "$2" "${3:-32}" <<'PY'
import random, sys
random.seed(11)
path, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = bytes(random.getrandbits(8) for _ in range(size * (count - 3))) + \
       b"___LIST_COMP_HEX|12345678A01|\0\0"
def rec(a, t, d):
    b = [len(d), (a >> 8) & 255, a & 255, t] + list(d)
    return ":" + "".join("%02X" % x for x in b + [(-sum(b)) & 255])
lines = [rec(0, 4, b"\0\0")]
for i in range(0, len(data), size):
    if i and i % 65536 == 0:
        lines.append(rec(0, 4, bytes([0, i >> 16])))
    lines.append(rec(i & 0xFFFF, 0, data[i:i + size]))
lines.append(":00000001FF")
open(path, "w").write("\n".join(lines) + "\n")
PY
}
