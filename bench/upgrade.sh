#!/bin/bash
# Upgrade time against a wire-time model. The simulator gives each byte its wire time at the
# chosen rate (8 data bits, no parity, 1 stop bit: 10 bits) and answers after a fixed
# turnaround. Model = every byte both ways x 10 / rate + the "-w" pause before each write (5
# character times, truncated to whole ms as the program computes it) + one turnaround per
# answer. Measured = the simulator's first byte received to its last byte sent. An ideal client
# that replays the same lines and does nothing else gives the floor of this machine (the
# pseudo-terminal's own delivery time). Targets: measured within 2 % of the model; the
# program's processor time under 5 % of its elapsed time.
# Then the cost of a USB adapter's latency timer at 115200 baud, 16-byte records: the simulator
# holds each answer as the adapter would (--adapter-latency 0, 1 and 16 ms), and each line's
# seconds are set against the wire model, which has no such timer.
. "$(dirname "$0")/common.sh"
cmake --build build/release --target ideal_client >/dev/null
turnaround_ms=2
records=${RECORDS:-1200}

firmware_file "$work/FIRMWARE.HEX" "$records"
echo "file: $(grep -c '^:' "$work/FIRMWARE.HEX") records, $(wc -c <"$work/FIRMWARE.HEX") bytes"

for rate in 115200 9600; do
    case $rate in 115200) index=8 ;; 9600) index=4 ;; esac
    mkdir -p "$work/ports"
    build/release/qelsim --ports "$work/ports" --monitor 12345678A01 --baud "$rate" \
        --turnaround "$turnaround_ms" --stats "$work/stats" --exit-after-exits 1 \
        --log "$work/sent.log" >"$work/ready" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done
    (cd "$work" && printf 'o\no\n' | QEL32_PORTS="$work/ports" /usr/bin/time -f "%e %U %S" -o "$work/time" \
        "$root/build/release/qel32" -le -c1,$rate,8,1,n,n -hfirmware.hex >/dev/null)
    wait "$sim"
    # The same lines from the ideal client.
    build/release/qelsim --ports "$work/ports" --monitor 12345678A01 --baud "$rate" \
        --turnaround "$turnaround_ms" --stats "$work/ideal-stats" --exit-after-exits 1 >"$work/ready2" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready2" 2>/dev/null && break; sleep 0.1; done
    pause_ms=$(( 5 * 10 * 1000 / rate ))
    build/release/bench/ideal_client "$work/ports/COM1" "$work/sent.log" "$pause_ms" >/dev/null
    wait "$sim"
    python3 - "$work/stats" "$work/time" "$rate" "$turnaround_ms" "$work/ideal-stats" <<'PY'
import sys
stats = dict(l.split() for l in open(sys.argv[1]))
elapsed, user, system = map(float, open(sys.argv[2]).read().split()[-3:])
rate, turnaround = int(sys.argv[3]), float(sys.argv[4]) / 1000
received, sent = int(stats["received"]), int(stats["sent"])
lines, answers = int(stats["lines"]), int(stats["answers"])
pause = int(5 * 10 * 1000.0 / rate) / 1000.0          # before every write, as the program computes it
model = (received + sent) * 10.0 / rate + lines * pause + answers * turnaround
measured = float(stats["seconds"])
ideal = float(dict(l.split() for l in open(sys.argv[5]))["seconds"])
cpu = user + system
print("%6d baud: qel32 %8.3f s, model %8.3f s, ratio %.4f | ideal client %8.3f s (ratio %.4f), "
      "qel32/ideal %.4f | %d lines, %d answers | qel32 processor %.3f s of %.3f s (%.2f %%)"
      % (rate, measured, model, measured / model, ideal, ideal / model, measured / ideal,
         lines, answers, cpu, elapsed, 100 * cpu / elapsed))
PY
    rm -rf "$work/ports" "$work/stats" "$work/ideal-stats" "$work/sent.log"
done

# The adapter's latency timer: 16 ms by default, 1 ms in low-latency mode (which the program asks
# for on Linux; on Windows the device's own settings hold it).
latency_records=${LATENCY_RECORDS:-600}
firmware_file "$work/FIRMWARE.HEX" "$latency_records" 16
echo "adapter latency, 115200 baud, $(grep -c '^:' "$work/FIRMWARE.HEX") records of 16 bytes:"
for latency in 0 1 16; do
    mkdir -p "$work/ports"
    build/release/qelsim --ports "$work/ports" --monitor 12345678A01 --baud 115200 \
        --turnaround "$turnaround_ms" --adapter-latency "$latency" --stats "$work/stats" \
        --exit-after-exits 1 >"$work/ready" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done
    (cd "$work" && printf 'o\no\n' | QEL32_PORTS="$work/ports" \
        "$root/build/release/qel32" -le -c1,115200,8,1,n,n -hfirmware.hex >/dev/null)
    wait "$sim"
    python3 - "$work/stats" "$latency" "$turnaround_ms" <<'PY'
import sys
stats = dict(l.split() for l in open(sys.argv[1]))
latency, turnaround = int(sys.argv[2]), float(sys.argv[3]) / 1000
received, sent = int(stats["received"]), int(stats["sent"])
lines, answers = int(stats["lines"]), int(stats["answers"])
model = (received + sent) * 10.0 / 115200 + answers * turnaround
measured = float(stats["seconds"])
print("  latency %2d ms: %7.3f ms a line, wire model %7.3f ms a line, ratio %.2f"
      % (latency, 1000 * measured / lines, 1000 * model / lines, measured / model))
PY
    rm -rf "$work/ports" "$work/stats"
done
