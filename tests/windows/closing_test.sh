#!/bin/sh
# Qel32.exe under Wine closed from outside (End task on the backdrop) while a failure box is up:
# the box closes as its close box closes it (Cancel), no cancel question is stacked over it, and
# the program ends as that failure ends, status 1 and a "failed" journal line with its numbers;
# in French and in English.
# usage: closing_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work

make_firmware firmware.hex 512 16

for language in f e; do
    if [ "$language" = f ]; then
        backdrop="Mise à jour des appareils" line_box="Impossible de transmettre la ligne"
        question="Voulez-vous vraiment interrompre" message=45 reason=15
    else
        backdrop="Upgrading instruments" line_box="Unable to transmit line"
        question="Do you want to abort upgrading process" message=46 reason=16
    fi
    # The fifth record and its two repeats go unanswered: the box of a failed line.
    start_com5 --silent-lines 5,6,7
    rm -f journal.jsonl
    QEL32_JOURNAL="Z:$work/journal.jsonl" timeout 180 "$wine_run" "$work/Qel32.exe" \
        -l$language -c5,115200,8,1,n,n -hfirmware.hex &
    pid=$!
    probe wait Qel32 90 && probe click Qel32 1 || fail "$language: no confirmation"
    if probe wait Qel32 60 && expect_line "$(probe dump Qel32)" "$line_box" "$language: failure box"
    then
        shot closing-$language-failure-box
        probe endtask "$backdrop" || fail "$language: no backdrop to close"
        sleep 2
        case $(probe dump Qel32 2>/dev/null) in
        *"$question"*) fail "$language: the cancel question was stacked over the failure box"
                       probe click Qel32 7 ;;
        esac
    else
        fail "$language: no failure box"
    fi
    wait "$pid"
    status=$?
    [ "$status" = 1 ] || fail "$language: ended with $status, expected 1 (the failure shown)"
    line=$(tail -1 journal.jsonl 2>/dev/null)
    expect_line "$line" '"outcome":"failed"' "$language: journal"
    expect_line "$line" "\"message\":$message" "$language: journal"
    expect_line "$line" "\"reason\":$reason" "$language: journal"
    kill "$sim"
    wait "$sim"
done

finish "closing the backdrop while a box is up, under Wine"
