#!/bin/sh
# End task while a silent instrument is asked to identify itself (WM_CLOSE to the backdrop, as
# the task list sends it), at moments spread over the identification's 20 s and so over each of
# its waits: the pause, the write, the reads. Each time the program ends at once as a cancel.
# usage: end_task_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
enter_fresh_work
make_firmware firmware.hex 512 32
backdrop="Upgrading instruments"
journal="$work/journal.jsonl"
start_com5 --silent --log "$work/wire.log"

for moment in 0.1 1.3 2.6 4.95 5.05 7.4 9.9 10.05 12.5 14.97 15.1 17.8 19.9; do
    rm -f "$journal"
    : >"$work/wire.log"
    # 255 character times at 1200 baud: a pause of 2.1 s before each question.
    QEL32_JOURNAL="Z:$journal" timeout 120 "$wine_run" "$work/Qel32.exe" -le -w255 \
        -c5,1200,8,1,n,n -hfirmware.hex &
    pid=$!
    for _ in $(seq 600); do grep -q 'QEL?' "$work/wire.log" && break; sleep 0.05; done
    sleep "$moment"
    # It answers its messages: Windows does not mark it "Not Responding".
    [ "$(probe answers "$backdrop" 2000)" = 1 ] || fail "no answer at $moment s"
    probe endtask "$backdrop" || fail "no backdrop to close at $moment s"
    asked=$(date +%s.%N)
    wait "$pid"
    status=$?
    took=$(echo "$(date +%s.%N) - $asked" | bc)
    echo "End task $moment s in: ended in $took s"
    [ "$status" = 2 ] || fail "End task $moment s into the identification ended with $status"
    [ "$(echo "$took < 2" | bc)" = 1 ] || fail "End task $moment s in took $took s"
    expect_line "$(tail -1 "$journal" 2>/dev/null)" '"outcome":"cancelled"' "journal at $moment s"
done
kill "$sim"
wait "$sim"
finish "End task at every moment of the identification under Wine"
