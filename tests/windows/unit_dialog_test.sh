#!/bin/sh
# The unit's serial number on a station that asks for it (QEL32_ASK_UNIT): a small dialog in the
# program's language before the instrument is asked anything, typed with real keys, and the
# journal naming the unit; Escape in it closes the loop as a cancel before anything is sent.
# usage: unit_dialog_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work
make_firmware firmware.hex 512 32
start_com5 --baud 115200

for language in e f; do
    rm -f journal.jsonl
    QEL32_ASK_UNIT=1 QEL32_JOURNAL="Z:$work/journal.jsonl" timeout 120 "$wine_run" \
        "$work/Qel32.exe" -l$language -c5,115200,8,1,n,n -hfirmware.hex &
    pid=$!
    caption="Unit to upgrade"
    [ $language = f ] && caption="Appareil à mettre à jour"
    probe wait "$caption" 60 || fail "no unit dialog ($language)"
    state_of_unit=$(probe dump "$caption")
    expect_line "$state_of_unit" "$([ $language = f ] && echo 'Numéro de série' || echo 'serial number')" "its label"
    shot unit-$language
    if [ $language = e ]; then
        key Return # no serial number yet: OK waits for one
        probe wait "$caption" 5 || fail "OK took no serial number"
        xdotool type --delay 80 "SN-77"
        sleep 0.5
        key Return
        probe wait Qel32 60 || fail "no confirmation after the unit"
        probe click Qel32 1
        probe wait Qel32 120 || fail "no report"
        probe click Qel32 1
        wait "$pid" || fail "the upgrade did not end with 0"
        expect_line "$(cat journal.jsonl)" '"unit":"SN-77"' "the unit in the journal"
    else
        key Escape
        wait "$pid"
        [ $? = 2 ] || fail "Escape in the unit dialog did not end as a cancel"
        expect_line "$(cat journal.jsonl)" '"stage":"unit"' "a loop closed at the unit"
    fi
done
kill "$sim"
wait "$sim"
finish "the unit's serial number under Wine"
