#!/bin/bash
# Analysis speed and memory: qel32 analysing a ~10 MB upgrade file (32 data bytes a record,
# extended linear address records, a compatibility list near the end) against srec_cat reading
# the same file, in the same run. Target: qel32 no slower than srec_cat, memory flat in the
# file size.
. "$(dirname "$0")/common.sh"

make_file() {  # size of the binary image in bytes, output name
    python3 - "$1" "$work/image.bin" <<'PY'
import random, sys
size = int(sys.argv[1])
random.seed(7)
body = bytes(random.getrandbits(8) for _ in range(size))
tail = b"___LIST_COMP_HEX|12345678A01|12345678B02\0\0" + bytes(64)
open(sys.argv[2], "wb").write(body + tail)
PY
    srec_cat "$work/image.bin" -binary -o "$work/$2" -intel -Output_Block_Size 32 -address-length=4
}

best_of() {  # runs "$@" 5 times; prints the best elapsed seconds and the largest RSS in KiB
    local best="" rss=0
    for _ in 1 2 3 4 5; do
        # After its analysis qel32 goes on to the settings dialog, which the end of the input
        # closes at once (status 2): GNU time then says so on a first line of its own.
        QEL32_PORTS="$work" /usr/bin/time -f "%e %M" -o "$work/t" "$@" </dev/null >/dev/null 2>&1 || true
        read -r e m < <(tail -n 1 "$work/t")
        best=$(python3 -c "print(min(float('$e'), float('${best:-1e9}')))")
        [ "$m" -gt "$rss" ] && rss=$m
    done
    echo "$best $rss"
}

make_file 4300000 big.hex
make_file 430000 small.hex
ls -l "$work/big.hex" "$work/small.hex" | awk '{print $5, $9}'
cd "$work"
read -r q_time q_rss < <(best_of "$root/build/release/qel32" -le -hbig.hex)
read -r s_time s_rss < <(best_of srec_cat big.hex -intel -o /dev/null -binary)
read -r _ q_small_rss < <(best_of "$root/build/release/qel32" -le -hsmall.hex)
echo "qel32 analysis:   ${q_time} s, max RSS ${q_rss} KiB (${q_small_rss} KiB for a file ten times smaller)"
echo "srec_cat reading: ${s_time} s, max RSS ${s_rss} KiB"
python3 -c "print('ratio qel32/srec_cat: %.2f' % (float('$q_time') / float('$s_time')))"
