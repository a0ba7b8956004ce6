#!/bin/sh
# Qel32.exe under Wine driven as a person drives it: real keys and mouse clicks through the X
# server (xdotool), with window queries to see what they did: the language dialog, the read-me,
# welcome, About and Options nested (the opener disabled under each, then back on top and
# enabled), the settings chosen with keys, the confirmation, and Cancel during the transmission
# with its Yes/No question. A screenshot of each step (the layout of every dialog, in both
# languages, is gauge_test.sh's).
# usage: dialogs_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work

# A firmware of a few hundred lines at 1200 baud: time enough to click Cancel twice.
make_firmware firmware.hex 4096 16
printf 'Read me first.\r\nSecond line.\r\n' >README.TXT

start_com5 --baud 1200
"$wine_run" reg add 'HKCU\Control Panel\International' /v sLanguage /d FRA /f >/dev/null 2>&1

state_is() { # caption pattern what
    expect_line "$(probe state "$1")" "$2" "$3"
}
welcome="Upgrading instruments"

QEL32_JOURNAL="Z:$work/journal.jsonl" timeout 300 "$wine_run" "$work/Qel32.exe" &
pid=$!

# The language: French proposed; Tab to English, Enter.
probe wait QEL 60 || fail "no language dialog"
shot dialogs-1-language
key Tab
key Return

# The read-me, owned by the welcome dialog, which shows itself once the read-me is closed.
probe wait "Read me" 30 || fail "no read-me"
expect_line "$(probe sel "Read me" 1024)" "0 0" "read-me caret at the start, nothing selected"
expect_line "$(probe dump "Read me")" "owner=\"$welcome\"" "read-me owned by the welcome dialog"
state_is "Read me" "foreground=1" "read-me active"
shot dialogs-2-readme
key Return
probe gone "Read me" 10 || fail "Enter did not close the read-me"
state_is "$welcome" "enabled=1 foreground=1" "welcome back"
state_is "$welcome" "zorder=[$welcome|#32770][$welcome|" "welcome above the backdrop"
shot dialogs-3-welcome

# About over the welcome dialog, Options over About, closed with Escape.
click "$welcome" 1002
probe wait "About..." 10 || fail "no About"
state_is "$welcome" "enabled=0" "welcome disabled under About"
state_is "About..." "foreground=1" "About active"
shot dialogs-4-about
click "About..." 1027
probe wait "QEL.EXE: Command Line Options" 10 || fail "no Options"
state_is "About..." "enabled=0" "About disabled under Options"
shot dialogs-5-options
key Escape
probe gone "QEL.EXE: Command Line Options" 10 || fail "Escape did not close Options"
state_is "About..." "enabled=1 foreground=1 zorder=[About...|#32770][$welcome|#32770]" \
    "About back on top"
# The read-me from About, then About closed with Enter.
click "About..." 1025
probe wait "Read me" 10 || fail "no read-me from About"
state_is "About..." "enabled=0" "About disabled under the read-me"
key Return
probe gone "Read me" 10 || fail "the read-me from About stayed"
state_is "About..." "enabled=1 foreground=1" "About back after the read-me"
key Return
probe gone "About..." 10 || fail "Enter did not close About"
state_is "$welcome" "enabled=1 foreground=1 zorder=[$welcome|#32770][$welcome|" \
    "welcome back on top after About"
shot dialogs-6-welcome-again

# Continue with Alt+C; the settings with keys: Alt+B to the baud rates, Down to 19200, Tab to
# the port list (next in the tab order), End to the simulator's COM5, Enter.
key alt+c
probe wait "Opening communication with the instrument" 60 || fail "no settings dialog"
key alt+b
key Down
key Tab
key End
shot dialogs-7-settings
key Return

# The confirmation, with Enter.
probe wait Qel32 60 || fail "no confirmation"
expect_line "$(probe dump Qel32)" "transmitting following files" "confirmation"
shot dialogs-8-confirmation
key Return

# Cancel during the transmission: No goes on, Yes stops.
cancel_question "Transmitting in progress..."
state_is "Transmitting in progress..." "enabled=0" "transmission disabled under its question"
shot dialogs-9-cancel-question
key n
probe gone Qel32 10 || fail "No did not close the question"
before=$(probe gauge "Transmitting in progress..." 1000)
sleep 2
after=$(probe gauge "Transmitting in progress..." 1000)
[ "$before" != "$after" ] || fail "the transmission did not go on after No ($before)"
click "Transmitting in progress..." 2
probe wait Qel32 10 || fail "no question on the second Cancel"
key y
wait "$pid"
status=$?
[ "$status" = 2 ] || fail "ended with $status, expected 2 (cancelled)"
kill "$sim"
wait "$sim"
last=$(tail -1 "$work/journal.jsonl" 2>/dev/null)
expect_line "$last" '"port":5,"baud":19200' "the port and rate chosen with keys"
expect_line "$last" '"outcome":"cancelled"' "journal"

finish "dialogs with real input under Wine"
