#!/bin/sh
# Qel32.exe under Wine: the maximized backdrop and the real language dialog, checked through
# window queries; screenshots are kept for people to look at.
# usage: language_dialog_test.sh QEL32_EXE WINPROBE_EXE SCREENSHOT_DIR
set -u
exe=$1
probe_exe=$2
shots=$3
. "$(dirname "$0")/common.sh"

# A chosen language is seen in what follows: the read-me dialog and the welcome dialog of that
# language. Both are closed, which ends the program with 2.
leave_in() {  # read-me caption, welcome caption
    if probe wait "$1" 60; then
        probe click "$1" 1
    else
        fail "no \"$1\" dialog"
    fi
    if probe wait "$2" 60; then
        probe click "$2" 2
    else
        fail "no \"$2\" dialog"
    fi
}

# profile: the user's "intl" language value; action: how the dialog is answered; chosen: the
# language that follows (fr, en) or none.
run_case() {
    profile=$1 expected_defid=$2 action=$3 chosen=$4
    "$wine_run" reg add 'HKCU\Control Panel\International' /v sLanguage /d "$profile" /f >/dev/null 2>&1
    timeout 120 "$wine_run" "$exe" &
    pid=$!
    if ! probe wait QEL 60; then
        fail "$profile: no language dialog"
        kill "$pid" 2>/dev/null
        wait "$pid"
        return
    fi
    dialog=$(probe dump QEL)
    expect_line "$dialog" 'class=#32770' "$profile dialog"
    expect_line "$dialog" 'caption="QEL"' "$profile dialog"
    expect_line "$dialog" "defid=$expected_defid " "$profile proposal"
    expect_line "$dialog" 'owner="Qel32"' "$profile owner"
    expect_line "$dialog" 'text="Sélectionnez votre langue"' "$profile label"
    expect_line "$dialog" 'text="Select your language"' "$profile label"
    expect_line "$dialog" 'control id=1028 class=Button visible=1' "$profile French button"
    expect_line "$dialog" 'text="Français"' "$profile French button"
    expect_line "$dialog" 'control id=1027 class=Button visible=1' "$profile English button"
    expect_line "$dialog" 'text="English"' "$profile English button"
    frame=$(probe dump Qel32)
    expect_line "$frame" 'class=Qel32Window zoomed=1' "$profile backdrop"
    shot "language-dialog-$profile"
    probe $action
    case $chosen in
    fr) leave_in "Lisez-moi" "Mise à jour des appareils" ;;
    en) leave_in "Read me" "Upgrading instruments" ;;
    esac
    wait "$pid"
    status=$?
    [ "$status" = 2 ] || fail "$profile: '$action' ended with $status, expected 2"
}

run_case FRA 1028 "key QEL return" fr     # Enter takes the proposal
run_case ENU 1027 "click QEL 1028" fr     # the other language can be chosen
run_case frc 1028 "key QEL escape" none   # lower case still proposes French; Escape cancels
run_case FRB 1027 "close QEL" none        # other French regions propose English

# -le: no language dialog at all; English follows.
timeout 120 "$wine_run" "$exe" -le &
pid=$!
probe wait QEL 3 && fail "-le showed the language dialog"
leave_in "Read me" "Upgrading instruments"
wait "$pid"
status=$?
[ "$status" = 2 ] || fail "-le ended with $status"

finish "language dialog under Wine"
