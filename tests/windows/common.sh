# Shared by the Windows GUI test scripts (sourced): window queries through winprobe, checks
# that count failures, screenshots. Needs probe_exe and shots set by the script.
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/wine-run"
: "${QEL32_WINEPREFIX:=$HOME/.wine-qel32}"
failures=0

# UTF-8 arguments: captions such as "Mise à jour des appareils" reach the probe whole.
probe() { LC_ALL=C.UTF-8 "$wine_run" "$probe_exe" "$@"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# expect_line TEXT PATTERN WHAT: PATTERN must stand in TEXT.
expect_line() {
    printf '%s\n' "$1" | grep -q -F -- "$2" || fail "$3: no '$2' in:
$1"
}
shot() {
    mkdir -p "$shots"
    if command -v import >/dev/null 2>&1; then
        import -window root "$shots/$1.png" 2>/dev/null || echo "note: no screenshot $1"
    fi
}
# The arguments of a script that runs the program against the simulator: Qel32.exe, winprobe.exe,
# the native simulator, the screenshot folder and the script's work folder.
take_upgrade_args() { exe=$1 probe_exe=$2 simulator=$3 shots=$4 work=$5; }
# The arguments of a script that looks at one dialog without the simulator: Qel32.exe,
# winprobe.exe, the screenshot folder and the script's work folder, made if missing.
take_dialog_args() {
    exe=$1 probe_exe=$2 shots=$3 work=$4
    mkdir -p "$work"
}
# make_firmware NAME BYTES RECORD_BYTES: that many random bytes at 0x1000 with the compatibility
# list of monitor 12345678A01 after them, as Intel HEX records of RECORD_BYTES. No '_' in the
# random bytes: one just before the list's tag hides the tag from the analysis, whose search does
# not back up over a broken partial match.
make_firmware() {
    head -c "$2" /dev/urandom | tr _ x >image.bin
    printf '___LIST_COMP_HEX|12345678A01|\000\000' >>image.bin
    srec_cat image.bin -binary -offset 0x1000 -o "$1" -intel -Output_Block_Size "$3" || exit 1
}
# A fresh work folder holding a copy of the program ($exe), made the current directory.
enter_fresh_work() {
    rm -rf "$work"
    mkdir -p "$work" "$QEL32_WINEPREFIX/dosdevices"
    cp "$exe" "$work/Qel32.exe"
    cd "$work" || exit 1
}
# start_com5 [SIMULATOR OPTIONS...]: the simulator ($simulator) with monitor 12345678A01 as
# COM5 of the prefix, listed in its device map (Wine lists a port only once that names it);
# ready when this returns, its process in $sim.
start_com5() {
    "$wine_run" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v QelTest5 /d COM5 /f >/dev/null 2>&1
    "$simulator" --ports "$work" --port 5 --dosdevices "$QEL32_WINEPREFIX/dosdevices" \
        --monitor 12345678A01 "$@" >"$work/ready" &
    sim=$!
    for _ in $(seq 50); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done
}
# Real input through the X server (xdotool), with time for the program to act on it.
key() { xdotool key "$@"; sleep 0.7; }
click() { # caption id: a real click at the control's centre
    at=$(probe center "$1" "$2") || { fail "no control $2 in \"$1\""; return; }
    xdotool mousemove $at click 1
    sleep 0.7
}
# cancel_question CAPTION: Cancel clicked in the transmission dialog of that caption, two seconds
# into the transfer, and its question up.
cancel_question() {
    probe wait "$1" 60 || fail "no transmission"
    sleep 2
    click "$1" 2
    probe wait Qel32 10 || fail "no question on Cancel"
    expect_line "$(probe dump Qel32)" "Do you want to abort upgrading process ?" "cancel question"
}
# finish WHAT: the script's verdict.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "$1: all checks passed"
    exit 0
}
