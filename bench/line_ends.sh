#!/bin/bash
# The wire cost of how a monitor ends its answers: lines the program puts on the wire and
# seconds, each per record line of the file, from MODEQEL0 to the answer of EXITQEL, at 115200
# baud with a 2 ms turnaround. An answer without a line end lasts until its time limit passes
# in silence, so that monitor costs seconds whatever the program does. (A CR before the LF
# leaves the identification unreadable: such a monitor is refused at the identification.)
# usage: line_ends.sh [RECORDS]   (default 20)
. "$(dirname "$0")/common.sh"
records=${1:-20}
firmware_file "$work/FIRMWARE.HEX" "$records"
count=$(grep -c '^:' "$work/FIRMWARE.HEX")
echo "file: $count records"

for end in lf lfcr none; do
    mkdir -p "$work/ports"
    build/release/qelsim --ports "$work/ports" --monitor 12345678A01 --baud 115200 \
        --turnaround 2 --line-end "$end" --stats "$work/stats" --stats-from MODEQEL0 \
        --exit-after-exits 1 --log "$work/received" >"$work/ready" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done
    (cd "$work" && printf 'o\no\n' | QEL32_PORTS="$work/ports" \
        "$root/build/release/qel32" -le -c1,115200,8,1,n,n -hfirmware.hex >/dev/null) || true
    kill "$sim" 2>/dev/null || true # still there when the upgrade failed
    wait "$sim" || true
    python3 - "$work/stats" "$work/received" "$count" "$end" <<'PY'
import sys
stats = dict(l.split() for l in open(sys.argv[1]))
lines = open(sys.argv[2], "rb").read().split(b"\n")
start = lines.index(b"MODEQEL0")
sent = [l for l in lines[start:] if l]
records = int(sys.argv[3])
extra = len(sent) - (records + 4)   # MODEQEL0, QEL?, every record, QEL?, EXITQEL
print("%-5s %5.2f lines a record (%d beyond the sequence), %7.4f s a record"
      % (sys.argv[4], len(sent) / records, extra, float(stats["seconds"]) / records))
PY
    rm -rf "$work/ports" "$work/stats" "$work/received"
done
