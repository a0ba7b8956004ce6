#!/bin/sh
# Qel32.exe under Wine: the analysis dialog of a large file, its texts and gauge checked
# through window queries, held by the Cancel question for a screenshot, then let go on.
# usage: analysis_dialog_test.sh QEL32_EXE WINPROBE_EXE SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_dialog_args "$@"

# About 20 MB of records, the list at the very end.
cd "$work"
if [ ! -f big.hex ]; then
    head -c 8000000 /dev/zero | tr '\000' 'U' >image.bin
    printf '___LIST_COMP_HEX|12345678A01|\000\000' >>image.bin
    srec_cat image.bin -binary -o big.hex -intel -Output_Block_Size 32 || exit 1
fi

timeout 240 "$wine_run" "$exe" -le -hbig.hex &
pid=$!
if ! probe wait "Analysing in progress..." 60; then
    fail "no analysis dialog"
    kill "$pid" 2>/dev/null
    wait "$pid"
    exit 1
fi
sleep 1
dialog=$(probe dump "Analysing in progress...")
expect_line "$dialog" 'class=#32770' "dialog"
expect_line "$dialog" 'owner="Upgrading instruments"' "owner"
expect_line "$dialog" 'control id=1022 class=Static visible=1' "upper line"
expect_line "$dialog" 'text="Analysing file "big.hex""' "upper line"
expect_line "$dialog" 'control id=1023 class=Static visible=1' "lower line"
expect_line "$dialog" 'text="In progress..."' "lower line"
expect_line "$dialog" 'control id=1000 class=Static visible=1' "gauge"
expect_line "$dialog" 'control id=2 class=Button visible=1' "Cancel"
expect_line "$dialog" 'text="Cancel"' "Cancel"
expect_line "$dialog" 'control id=1 class=Button visible=0' "hidden OK"

# Cancel holds the analysis on its question.
probe click "Analysing in progress..." 2
probe wait Qel32 30 || fail "no question box"
question=$(probe dump Qel32)
expect_line "$question" 'text="Do you want to abort the upgrading process ?"' "question"
expect_line "$question" 'control id=6 class=Button' "Yes"
expect_line "$question" 'control id=7 class=Button' "No"
probe move Qel32 20 20
bar=$(probe gauge "Analysing in progress..." 1000)
echo "gauge while held: $bar"
blue=$(echo "$bar" | sed -n 's/.*blue=\([0-9]*\).*/\1/p')
white=$(echo "$bar" | sed -n 's/.*white=\([0-9]*\).*/\1/p')
[ "${blue:-0}" -gt 0 ] && [ "${white:-0}" -gt 0 ] || fail "gauge not part-way: $bar"
shot analysis-dialog

# No: the analysis goes on to its end, and without an error box the run follows it: the
# settings dialog, whose Cancel ends the program (2).
probe click Qel32 7
probe gone "Analysing in progress..." 120 || fail "the analysis did not end"
if probe wait "Opening communication with the instrument" 30; then
    probe click "Opening communication with the instrument" 2
else
    fail "no settings dialog after the analysis: $(probe dump Qel32)"
fi
wait "$pid"
status=$?
[ "$status" = 2 ] || fail "ended with $status, expected 2"

# A device name opens as a file would; only a file on a disk is read.
timeout 60 "$wine_run" "$exe" -le -hnul &
pid=$!
if probe wait Qel32 30; then
    box=$(probe dump Qel32)
    expect_line "$box" 'Unable to open file "nul"' "device refused"
    expect_line "$box" 'Invalid function' "device refused with the system's reason"
    probe click Qel32 1
else
    fail "no box for the device"
fi
wait "$pid"
status=$?
[ "$status" = 1 ] || fail "the device: ended with $status, expected 1"

# A missing file: the system's own text (not the C run-time's English), in the system's
# language.
missing_file() { # locale, language option, reason
    locale=$1 option=$2 reason=$3
    LANG=$locale LC_ALL=$locale timeout 60 "$wine_run" "$exe" "$option" -habsent.hex &
    pid=$!
    if probe wait Qel32 30; then
        box=$(probe dump Qel32)
        expect_line "$box" "$reason" "a missing file in $locale"
        probe click Qel32 1
    else
        fail "no box for a missing file in $locale"
    fi
    wait "$pid"
}
missing_file en_US.UTF-8 -le "File not found"
missing_file fr_FR.UTF-8 -lf "Fichier introuvable"

finish "analysis dialog under Wine"
