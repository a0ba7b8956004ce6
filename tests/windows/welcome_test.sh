#!/bin/sh
# Qel32.exe under Wine without any option: the language dialog, the read-me, the welcome list
# of the program's folder (with the About box), the settings dialog, and the upgrade of the
# simulator mapped as COM5, every box answered through window automation. Then "-s" with three
# files, the second chosen: only it is sent.
# usage: welcome_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work
for name in A.HEX b.hex c.Hex; do
    printf 'firmware %s ___LIST_COMP_HEX|12345678A01|\000\000' "$name" >image.bin
    srec_cat image.bin -binary -o "$name" -intel || exit 1
done
printf 'Read me first.\r\n' >README.TXT
"$wine_run" reg add 'HKCU\Control Panel\International' /v sLanguage /d ENU /f >/dev/null 2>&1

step() {  # caption, then what to do once it is there
    caption=$1
    shift
    if probe wait "$caption" 60; then
        "$@"
    else
        fail "no \"$caption\" window"
    fi
}
select_com5() {
    items=$(probe list "Opening communication with the instrument" 1010)
    index=$(printf '%s\n' "$items" | grep '|COM5|5|' | head -1 | cut -d'|' -f1)
    [ -n "$index" ] || fail "COM5 not listed: $items"
    probe select "Opening communication with the instrument" 1010 "${index:-0}"
    probe click "Opening communication with the instrument" 1
}

run_once() {  # options, list index to choose (or "") , expected file
    options=$1 choose=$2 expected=$3
    start_com5 --image "$work/received.bin"
    timeout 240 "$wine_run" Qel32.exe $options &
    pid=$!
    step QEL probe click QEL 1027
    step "Read me" probe click "Read me" 1
    if probe wait "Upgrading instruments" 60; then
        files=$(probe list "Upgrading instruments" 1001)
        expect_line "$files" '0|A.HEX|' "welcome list order"
        expect_line "$files" '1|b.hex|' "welcome list order"
        expect_line "$files" '2|c.Hex|' "welcome list order"
        if [ -n "$choose" ]; then
            probe select "Upgrading instruments" 1001 "$choose"
        else
            probe click "Upgrading instruments" 1002
            if probe wait "About..." 30; then
                about=$(probe dump "About...")
                expect_line "$about" 'control id=1026 class=Static visible=1' "About line"
                expect_line "$about" 'text="Qel32 Version B.01 (2,1,0,0)"' "About line"
                expect_line "$about" 'control id=1025 class=Button visible=1' "Read me button"
                shot about
                probe click "About..." 1
            else
                fail "no About box"
            fi
            shot welcome
        fi
        probe click "Upgrading instruments" 1
    else
        fail "no welcome dialog"
    fi
    step "Opening communication with the instrument" select_com5
    if probe wait Qel32 120; then
        box=$(probe dump Qel32)
        expect_line "$box" " . \"$expected\"\"" "confirmation of $expected"
        probe click Qel32 1
    else
        fail "no confirmation"
    fi
    if probe wait Qel32 120 && probe dump Qel32 | grep -q successfully; then
        probe click Qel32 1 || probe click Qel32 2
    else
        fail "no success report"
    fi
    wait "$pid"
    status=$?
    [ "$status" = 0 ] || fail "$options: ended with $status, expected 0"
    kill "$sim"
    wait "$sim"
    grep -q "firmware $expected" received.bin || fail "the instrument did not receive $expected"
}

run_once "" "" A.HEX
run_once "-s" 1 b.hex
finish "no options and selection mode under Wine"
