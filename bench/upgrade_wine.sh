#!/bin/bash
# Qel32.exe under Wine against a Win32 ideal client on the same simulated instrument (COM5 of a
# Wine prefix of its own), at 115200 and 9600 baud: the same 1200 records, each byte given its
# wire time, a 2 ms turnaround. Both are timed on the simulator's clock from the first byte of
# "MODEQEL0" to the last answer, so that the wait for the confirmation click does not count.
# Targets: Qel32.exe within 1.02 x the ideal client at 115200 and 1.01 x at 9600; its processor
# time under 2 % of its elapsed time. Prints numbers; asserts nothing.
. "$(dirname "$0")/common.sh"
bash scripts/setup.sh all
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
win=build/win-bench
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build "$win" --target Qel32 winprobe ideal_client_win32 >/dev/null
export QEL32_WINEPREFIX="$root/$win/wineprefix"
sh tests/windows/prepare_prefix.sh >/dev/null
mkdir -p "$QEL32_WINEPREFIX/dosdevices"
probe_exe="$root/$win/tests/windows/winprobe.exe"
shots="$work/shots"
. tests/windows/common.sh
wine_run="$root/tests/windows/wine-run" # common.sh looks beside the script that runs
records=${RECORDS:-1200}

firmware_file "$work/FIRMWARE.HEX" "$records"
echo "file: $(grep -c '^:' "$work/FIRMWARE.HEX") records; Wine $(wine --version 2>/dev/null)"

simulate() { # STATS [LOG]
    mkdir -p "$work/ports"
    build/release/qelsim --ports "$work/ports" --port 5 --dosdevices "$QEL32_WINEPREFIX/dosdevices" \
        --monitor 12345678A01 --baud "$rate" --turnaround 2 --stats "$1" --stats-from MODEQEL0 \
        --exit-after-exits 1 ${2:+--log "$2"} >"$work/ready" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done
}

for rate in ${RATES:-115200 9600}; do
    case $rate in 115200) index=8 ;; 9600) index=4 ;; esac
    simulate "$work/stats" "$work/sent.log"
    (cd "$work" && /usr/bin/time -f "%e %U %S" -o "$work/time" \
        "$wine_run" "$root/$win/Qel32.exe" -le -c5,$rate,8,1,n,n -hfirmware.hex) &
    program=$!
    probe wait Qel32 120 && probe click Qel32 1 # the confirmation
    probe wait "Transmitting in progress..." 60
    probe gone "Transmitting in progress..." 900
    probe wait Qel32 60 && probe click Qel32 1 # the report
    wait "$program"
    wait "$sim"
    simulate "$work/ideal-stats"
    pause_ms=$((5 * 10 * 1000 / rate))
    log=$("$wine_run" winepath -w "$work/sent.log")
    /usr/bin/time -f "%e %U %S" -o "$work/ideal-time" \
        "$wine_run" "$root/$win/bench/ideal_client_win32.exe" 5 "$rate" "$log" "$pause_ms" >/dev/null
    wait "$sim"
    python3 - "$work/stats" "$work/time" "$rate" "$work/ideal-stats" "$work/ideal-time" <<'PY'
import sys
stats = dict(l.split() for l in open(sys.argv[1]))
elapsed, user, system = map(float, open(sys.argv[2]).read().split()[-3:])
ideal_elapsed, ideal_user, ideal_system = map(float, open(sys.argv[5]).read().split()[-3:])
measured = float(stats["seconds"])
ideal = float(dict(l.split() for l in open(sys.argv[4]))["seconds"])
cpu, ideal_cpu = user + system, ideal_user + ideal_system
print("%6d baud under Wine: Qel32.exe %8.3f s | Win32 ideal client %8.3f s | Qel32.exe/ideal %.4f"
      " | processor: Qel32.exe %.3f s of %.3f s (%.2f %%), ideal client %.3f s of %.3f s (%.2f %%)"
      % (int(sys.argv[3]), measured, ideal, measured / ideal, cpu, elapsed, 100 * cpu / elapsed,
         ideal_cpu, ideal_elapsed, 100 * ideal_cpu / ideal_elapsed))
PY
    rm -rf "$work/ports" "$work/stats" "$work/ideal-stats" "$work/sent.log" "$work/ideal-time"
done
