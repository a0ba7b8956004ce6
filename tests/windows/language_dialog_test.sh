#!/bin/sh
# Qel32.exe under Wine: the maximized backdrop and the real language dialog, checked through
# window queries; screenshots are kept for people to look at.
# usage: language_dialog_test.sh QEL32_EXE WINPROBE_EXE SCREENSHOT_DIR
set -u
exe=$1
probe_exe=$2
shots=$3
. "$(dirname "$0")/common.sh"

# profile: the user's "intl" language value; action: how the dialog is answered.
run_case() {
    profile=$1 expected_defid=$2 action=$3 expected_status=$4
    "$wine_run" reg add 'HKCU\Control Panel\International' /v sLanguage /d "$profile" /f >/dev/null 2>&1
    "$wine_run" "$exe" &
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
    wait "$pid"
    status=$?
    [ "$status" = "$expected_status" ] || fail "$profile: '$action' ended with $status, expected $expected_status"
}

run_case FRA 1028 "key QEL return" 0     # Enter takes the proposal
run_case ENU 1027 "click QEL 1028" 0     # the other language can be chosen
run_case frc 1028 "key QEL escape" 2     # lower case still proposes French; Escape cancels
run_case FRB 1027 "close QEL" 2          # other French regions propose English

# -le: no dialog at all.
"$wine_run" "$exe" -le
status=$?
[ "$status" = 0 ] || fail "-le ended with $status"

finish "language dialog under Wine"
