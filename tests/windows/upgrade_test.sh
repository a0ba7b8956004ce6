#!/bin/sh
# Qel32.exe under Wine upgrades the simulated instrument (mapped as COM5): the boxes answered
# through window automation, screenshots of the confirmation, of the transmission part-way and
# of the success report, and the image the instrument rebuilt compared with the file's data.
# usage: upgrade_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
mkdir -p "$work" "$QEL32_WINEPREFIX/dosdevices"

# 6 KiB of firmware with its list, as 32-byte records at 0x1000.
cd "$work"
make_firmware firmware.hex 6144 32

start_com5 --baud 9600 --image "$work/received.bin"

# The journal goes where a Windows user's programs keep their data: this run's line alone.
local_app_data=$("$wine_run" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
journal=$("$wine_run" winepath -u "$local_app_data\\Qel32\\journal.jsonl" 2>/dev/null)
rm -f "$journal"

# Bounded: a box that no check answers must not hold the run.
timeout 180 "$wine_run" "$exe" -le -c5,9600,8,1,n,n -hfirmware.hex &
pid=$!

if probe wait Qel32 90; then
    box=$(probe dump Qel32)
    expect_line "$box" 'text="The instrument upgrading will be done by transmitting following files:' "confirmation"
    expect_line "$box" ' . "firmware.hex""' "confirmation"
    expect_line "$box" 'control id=1 class=Button' "confirmation OK"
    expect_line "$box" 'control id=2 class=Button' "confirmation Cancel"
    shot upgrade-confirmation
    probe click Qel32 1
else
    fail "no confirmation"
fi

if probe wait "Transmitting in progress..." 60; then
    sleep 2
    dialog=$(probe dump "Transmitting in progress...")
    expect_line "$dialog" 'text="Transmitting file "firmware.hex""' "transmission"
    expect_line "$dialog" 'text="In progress..."' "transmission"
    bar=$(probe gauge "Transmitting in progress..." 1000)
    echo "gauge part-way: $bar"
    shot upgrade-transmission
else
    fail "no transmission dialog"
fi

if probe wait Qel32 90; then
    box=$(probe dump Qel32)
    expect_line "$box" 'text="Upgrading has been successfully done for the files:' "success report"
    shot upgrade-success
    probe click Qel32 1 || probe click Qel32 2 || fail "no OK button in the success report"

else
    fail "no success report"
fi
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "Qel32.exe ended with $status, expected 0"
kill "$sim"
wait "$sim"
cmp -s image.bin received.bin || fail "the instrument's image differs from the file's data"

if [ -f "$journal" ]; then
    [ "$(wc -l <"$journal")" = 1 ] || fail "the journal should hold one line"
    expect_line "$(tail -1 "$journal")" '"outcome":"done"' "journal"
    expect_line "$(tail -1 "$journal")" '"name":"firmware.hex"' "journal"
else
    fail "no journal at $local_app_data\\Qel32\\journal.jsonl ($journal)"
fi

finish "upgrade under Wine"
