#!/bin/sh
# Qel32.exe under Wine as a service technician finds it (End task while a silent instrument is
# asked to identify itself is end_task_test.sh's): the session waits while a file is sent, and
# a session ended all the same leaves its journal line; an adapter plugged in while the settings dialog is up joins its list; the version is read from a
# folder named in letters outside the ANSI code page; the icon holds its four images and the
# program asks Windows to stay awake and to wait at shutdown.
# usage: technician_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work
make_firmware firmware.hex 4096 16
backdrop="Upgrading instruments"
transmission="Transmitting in progress..."
journal="$work/journal.jsonl"
run() { QEL32_JOURNAL="Z:$journal" timeout 200 "$wine_run" "$work/Qel32.exe" "$@"; }
last_line() { tail -1 "$journal" 2>/dev/null; }

# 1. The executable: its icon's images, and the calls that keep the PC awake and the session
# waiting during a transfer.
icons=$(probe icons "Z:$work/Qel32.exe")
[ "$icons" = "16x16x32 32x32x32 48x48x32 256x256x32" ] || fail "the icon holds: $icons"
imports=$(x86_64-w64-mingw32-objdump -p "$work/Qel32.exe")
for call in SetThreadExecutionState ShutdownBlockReasonCreate ShutdownBlockReasonDestroy \
    GetModuleFileNameW GetFileVersionInfoW VerQueryValueW; do
    printf '%s\n' "$imports" | grep -q "$call" || fail "Qel32.exe does not import $call"
done

# The upgrade at 2400 baud in the background ($pid), confirmed, two seconds into its transfer.
transfer_under_way() {
    run -le -c5,2400,8,1,n,n -hfirmware.hex &
    pid=$!
    probe wait Qel32 60 && probe click Qel32 1 || fail "no confirmation"
    probe wait "$transmission" 60 || fail "no transmission"
    sleep 2
}

# 2. A shutdown while a file is sent (wineboot --end-session, as Windows asks every window): the
# session waits, the transfer completes. Then a session that ends all the same (a forced
# restart: WM_ENDSESSION, then the process's end): the journal line is written before it goes.
start_com5 --baud 2400
rm -f "$journal"
transfer_under_way
"$wine_run" wineboot --end-session >/dev/null 2>&1
probe wait "$transmission" 5 || fail "the shutdown ended the transfer"
if probe wait Qel32 300; then
    expect_line "$(probe dump Qel32)" "successfully done" "the report after a refused shutdown"
    probe click Qel32 1
else
    fail "no report after the shutdown was refused"
fi
wait "$pid"
[ $? = 0 ] || fail "the upgrade did not complete after a refused shutdown"
rm -f "$journal"
transfer_under_way
probe endsession "$backdrop"
wait "$pid"
line=$(last_line)
expect_line "$line" '"outcome":"cancelled"' "the journal of a session ended during a transfer"
expect_line "$line" '"sessionEnded":true' "the journal of a session ended during a transfer"
kill "$sim"
wait "$sim"

# 3. An adapter plugged in while the settings dialog is up: Windows tells every top-level
# window, and the list takes the new port, the one chosen staying chosen.
start_com5
settings="Opening communication with the instrument"
run -le -hfirmware.hex &
pid=$!
probe wait "$settings" 60 || fail "no settings dialog"
# The list as the dialog holds it between refills: read from outside, a refill the system's own
# device notice started can be caught half done.
settled_list() {
    previous=
    for _ in $(seq 20); do
        current=$(probe list "$settings" 1010 | tr -d '\r')
        [ -n "$current" ] && [ "$current" = "$previous" ] && break
        previous=$current
        sleep 0.2
    done
    printf '%s\n' "$current"
}
probe select "$settings" 1010 0
before=$(settled_list)
"$wine_run" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v QelTest7 /d COM7 /f >/dev/null 2>&1
probe devicechange "$settings"
after=$(settled_list)
printf '%s\n' "$after" | grep -q '|COM7|7|' || fail "the new port is not listed: $after"
[ "$(printf '%s\n' "$before" | grep '|selected$' | cut -d'|' -f2)" = \
  "$(printf '%s\n' "$after" | grep '|selected$' | cut -d'|' -f2)" ] ||
    fail "the selection moved: before $before, after $after"
"$wine_run" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v QelTest7 /f >/dev/null 2>&1
probe devicechange "$settings"
settled_list | grep -q '|COM7|' && fail "a port that went is still listed"
probe click "$settings" 2
wait "$pid"
kill "$sim"
wait "$sim"

# 4. From a folder named in letters outside the ANSI code page: About and the journal keep the
# version.
mkdir -p "$work/Łukasz"
cp "$work/Qel32.exe" "$work/firmware.hex" "$work/Łukasz/"
rm -f "$journal"
(cd "$work/Łukasz" && QEL32_JOURNAL="Z:$journal" timeout 120 "$wine_run" "$work/Łukasz/Qel32.exe" \
    -le -c9,9600,8,1,n,n -hfirmware.hex) &
pid=$!
probe wait Qel32 60 && probe click Qel32 1 # the port that is not there
wait "$pid"
expect_line "$(last_line)" '"version":"B.01 (2.1.0.0)"' "the version from a folder named Łukasz"

finish "the technician's Windows: identification, shutdown, ports, version, icon"
