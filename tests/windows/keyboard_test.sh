#!/bin/sh
# Qel32.exe under Wine as a keyboard user and an experienced Windows user drive it, with real
# keys and clicks through the X server (xdotool): arrow keys stay in each dialog's button row;
# Alt+P in the English settings dialog reaches the port list; Enter on the cancel question
# goes on; End task on the backdrop asks that question and No goes on; a second Qel32.exe on
# the port of the transfer is refused with the system's access-denied text while the first
# completes with the whole file on the instrument.
# usage: keyboard_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work

# A firmware of a few hundred lines at 2400 baud: time enough for every step during the transfer.
make_firmware firmware.hex 4096 16
printf 'Read me first.\r\n' >README.TXT
start_com5 --baud 2400 --image "$work/instrument.bin"

focus_in() { # caption ids... what: the focus is on one of the ids
    caption=$1 what=$2
    shift 2
    now=$(probe focus "$caption" | sed -n 's/^id=\([0-9-]*\).*/\1/p')
    for id in "$@"; do [ "$now" = "$id" ] && return; done
    fail "$what: the focus is on control ${now:-none} of \"$caption\", not one of $*"
}
# arrows CAPTION IDS...: Right and Down, eight times, never leave the buttons.
arrows() {
    caption=$1
    shift
    for k in Right Right Right Right Down Down Down Down; do
        key "$k"
        focus_in "$caption" "$k in the button row" "$@"
    done
}
# The program still runs; else what follows cannot be checked.
alive() {
    kill -0 "$pid" 2>/dev/null && return
    fail "the program ended early ($1)"
    kill "$sim" 2>/dev/null
    finish "keyboard, closing and a second instance under Wine"
}
welcome="Upgrading instruments"
transmission="Transmitting in progress..."

QEL32_JOURNAL="Z:$work/journal.jsonl" timeout 400 "$wine_run" "$work/Qel32.exe" &
pid=$!

# The language dialog's two buttons.
probe wait QEL 60 || fail "no language dialog"
arrows QEL 1028 1027
key Tab
focus_in QEL "Tab to English" 1027
# Enter on the focused English, whichever the arrows left.
key Return
probe wait "Read me" 30 || fail "no read-me"
key Return
probe gone "Read me" 10 || fail "Enter did not close the read-me"

# The welcome dialog's row, then About's.
probe wait "$welcome" 10 || fail "no welcome"
focus_in "$welcome" "welcome's first focus" 1 2 1002
arrows "$welcome" 1 2 1002
click "$welcome" 1002
probe wait "About..." 10 || fail "no About"
arrows "About..." 1 1025 1027
key Escape
probe gone "About..." 10 || fail "Escape did not close About"

# The English settings dialog: Alt+P is the port list, Down moves in it, Tab order from the top
# left.
key alt+c
probe wait "Opening communication with the instrument" 60 || fail "no settings dialog"
settings="Opening communication with the instrument"
key alt+p
focus_in "$settings" "Alt+P" 1010
key Home
selected() { probe list "$settings" 1010 | tr -d '\r' | grep '|selected$' | cut -d'|' -f1; }
first=$(selected)
key Down
second=$(selected)
[ "${first:-x}" = 0 ] && [ "${second:-x}" = 1 ] ||
    fail "Alt+P then Down: the port list's selection went from '$first' to '$second'"
key End
key alt+b
focus_in "$settings" "Alt+B" 1003 1004 1005 1006 1007 1008 1009 1022 1023
key Tab
focus_in "$settings" "Tab after the baud rates" 1010
shot keyboard-1-settings
key Return

probe wait Qel32 60 || fail "no confirmation"
key Return

# Enter on the cancel question: No, the transfer goes on.
cancel_question "$transmission"
# The default push button's style on No (Wine's DM_GETDEFID on a box says 1 whatever it is).
probe dump Qel32 | grep -q 'control id=7 class=Button .* style=0x[0-9a-f]*1 ' ||
    fail "No is not the question's default: $(probe dump Qel32)"
shot keyboard-2-question
key Return
probe gone Qel32 10 || fail "Enter did not close the question"
before=$(probe gauge "$transmission" 1000)
sleep 2
after=$(probe gauge "$transmission" 1000)
[ "$before" != "$after" ] || fail "the transfer did not go on after Enter ($before)"
alive "after Enter on the cancel question"

# End task on the backdrop: the same question; No goes on.
probe endtask "$welcome" || fail "no backdrop to close"
if probe wait Qel32 10; then
    expect_line "$(probe dump Qel32)" "Do you want to abort upgrading process ?" \
        "the question on closing the backdrop"
    key n
    probe gone Qel32 10 || fail "No did not close the question"
else
    fail "closing the backdrop asked nothing"
fi
probe wait "$transmission" 5 || fail "closing the backdrop ended the transfer"
alive "after closing the backdrop"

# A second instance on the same port: the opening failure with the system's access-denied
# text; the first goes on untouched.
QEL32_JOURNAL="Z:$work/second.jsonl" timeout 120 "$wine_run" "$work/Qel32.exe" -le \
    -c5,9600,8,1,n,n -hfirmware.hex &
second=$!
refused=0
for _ in $(seq 60); do
    box=$(probe dump Qel32 2>/dev/null)
    case $box in *"Access denied"*) refused=1; break ;; esac
    sleep 0.5
done
[ "$refused" = 1 ] || fail "the second instance was not refused: $(probe dump Qel32)"
shot keyboard-3-second-instance
probe click Qel32 1
wait "$second"
status=$?
[ "$status" = 1 ] || fail "the second instance ended with $status, expected 1"

# The first completes: the report, status 0, the whole file on the instrument.
if probe wait Qel32 300; then
    expect_line "$(probe dump Qel32)" "successfully done" "the first instance's report"
    probe click Qel32 1
else
    fail "no report from the first instance"
fi
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "the first instance ended with $status, expected 0"
kill "$sim"
wait "$sim"
cmp -s image.bin "$work/instrument.bin" || fail "the instrument did not rebuild the whole file"
expect_line "$(tail -1 "$work/journal.jsonl")" '"outcome":"done"' "the first instance's journal"

finish "keyboard, closing and a second instance under Wine"
