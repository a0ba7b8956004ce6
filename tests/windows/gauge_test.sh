#!/bin/sh
# The transmission's percentage gauge read from the screen under Wine, compared pixel by pixel
# with the gauge as it must be drawn, at 0 %, 3 of 7 records and 100 %: a trace run (-d) holds
# each step in a box while the gauge is read. Then, at the given scaling, every dialog's
# controls inside it and its texts whole.
# usage: gauge_test.sh QEL32_EXE WINPROBE_EXE SIMULATOR SCREENSHOT_DIR WORK_DIR DPI
set -u
. "$(dirname "$0")/common.sh"
take_upgrade_args "$@"
dpi=$6
enter_fresh_work
scale=$((dpi * 100 / 96))

# Six data records and the end record: a range of 7.
# No '_' in the random bytes: one just before the list's tag hides the tag from the
# analysis, whose search does not back up over a broken partial match.
head -c 65 /dev/urandom | tr _ x >image.bin
printf '___LIST_COMP_HEX|12345678A01|\000\000' >>image.bin
srec_cat image.bin -binary -offset 0x1000 -o gauge.hex -intel -address-length=2 \
    -Output_Block_Size 16 || exit 1
[ "$(grep -c '^:' gauge.hex)" = 7 ] || fail "the test file should hold 7 records"
# The read-me files in both encodings a person may save them in.
printf '\357\273\277Read me first: caf\303\251.\r\n' >README.TXT # UTF-8 with its BOM
printf 'Mise \340 jour, \351t\351.\r\n' >LISEZMOI.TXT                # the Windows code page

# A Windows 10/11 program: its manifest asks for no elevation, draws at the screen's scaling
# (Wine takes every program as aware of it, so the file is read), themed controls.
manifest=$(probe manifest "Z:$work/Qel32.exe" | tr -d '\r') || fail "no manifest in Qel32.exe"
for part in 'level="asInvoker"' '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' \
    'PerMonitorV2' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'; do
    expect_line "$manifest" "$part" "manifest"
done
version=$(sed -n 's/^#define QEL32_FILE_VERSION_TEXT "\(.*\)"/\1/p' "$here/../../res/version.h" |
    tr -d ' ' | tr , .)
expect_line "$manifest" "name=\"Qel32\" version=\"$version\"" "manifest version"

desktop='HKCU\Control Panel\Desktop'
"$wine_run" reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
trap '"$wine_run" reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1' EXIT
start_com5 --baud 9600

transmission="Transmitting in progress..."
# gauge_is POSITION: the gauge shows POSITION of 7, exactly.
gauge_is() {
    probe move Qel32 0 0 # the box off the gauge
    sleep 1
    seen=$(probe gaugeexact "$transmission" 1000 "$1" 7)
    echo "gauge at $1/7 ($scale %): $seen"
    inner=$(printf '%s\n' "$seen" | sed -n 's/.*inner=\([0-9]*\).*/\1/p')
    [ -n "$inner" ] || { fail "no gauge at $1/7"; return; }
    expect_line "$seen" "bar=$((inner * $1 / 7)) frame=ok row=ok" "bar at $1/7"
    expect_line "$seen" "differ=0" "gauge drawing at $1/7"
    shot "gauge-$scale-$1of7"
}

timeout 300 "$wine_run" "$work/Qel32.exe" -le -d -c5,9600,8,1,n,n -hgauge.hex &
pid=$!
checked=""
handled=""
steps=""
deadline=$(($(date +%s) + 240))
# Each box once, by its handle: a box just clicked may still be there when the next search
# runs, and a busy machine may take a while between two boxes.
while kill -0 "$pid" 2>/dev/null; do
    if [ "$(date +%s)" -gt "$deadline" ]; then
        fail "the trace run stalled after: $steps
windows: $(probe windows)"
        kill "$pid"
        break
    fi
    probe wait Qel32 5 || continue
    box=$(probe dump Qel32) || continue
    handle=$(printf '%s\n' "$box" | sed -n '1s/.*handle=\([0-9a-fx]*\).*/\1/p')
    if [ "$handle" = "$handled" ]; then
        sleep 0.2
        continue
    fi
    handled=$handle
    steps="$steps
$(printf '%s\n' "$box" | sed -n '/id=65535 class=Static/{s/.*text="//;N;s/\n/ /;p;q;}' | cut -c1-70)"
    case $box in
    *'Following line has just been sent:
MODEQEL0'*) gauge_is 0 && checked="${checked}0" ;;
    *'Following line has just been sent:
:10103000'*) gauge_is 3 && checked="${checked}3" ;;
    *'Following line has just been sent:
EXITQEL'*)
        gauge_is 7 && checked="${checked}7"
        expect_line "$(probe layout "$transmission")" "problems=0" "transmission layout"
        ;;
    esac
    case $box in
    *'control id=2 class=Button'*) probe click Qel32 1 ;;
    *) # the final report
        expect_line "$box" "Upgrading has been successfully done" "success"
        probe click Qel32 1
        break
        ;;
    esac
done
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "the trace run ended with $status"
[ "$checked" = 037 ] || fail "gauge checked at ${checked:-none} of 0, 3 and 7"
kill "$sim"
wait "$sim"

# The dialogs at this scaling, in both languages: everything inside, every text whole.
for language in e f; do
    timeout 120 "$wine_run" "$work/Qel32.exe" -l$language &
    pid=$!
    if [ $language = e ]; then
        readme="Read me" welcome="Upgrading instruments" about="About..." text="Read me first: café."
        settings="Opening communication with the instrument"
        options="QEL.EXE: Command Line Options"
    else
        readme="Lisez-moi" welcome="Mise à jour des appareils" about="A propos de Qel32"
        text="Mise à jour, été."
        settings="Ouverture de la liaison avec l'appareil"
        options="QEL.EXE: Options de la ligne de commande"
    fi
    probe wait "$readme" 60 || fail "no read-me"
    expect_line "$(probe layout "$readme")" "problems=0" "read-me layout ($language, $scale %)"
    expect_line "$(probe dump "$readme")" "text=\"$text" "read-me text ($language)"
    probe click "$readme" 1
    probe wait "$welcome" 30 || fail "no welcome"
    expect_line "$(probe layout "$welcome")" "problems=0" "welcome layout ($language, $scale %)"
    shot "layout-$scale-$language-welcome"
    probe click "$welcome" 1002
    probe wait "$about" 10 || fail "no About"
    expect_line "$(probe layout "$about")" "problems=0" "About layout ($language, $scale %)"
    shot "layout-$scale-$language-about"
    probe click "$about" 1027
    probe wait "$options" 10 || fail "no Options"
    expect_line "$(probe layout "$options" Arial 10)" "problems=0" \
        "Options layout ($language, $scale %)"
    probe click "$options" 1
    probe gone "$options" 10
    probe click "$about" 1
    probe gone "$about" 10
    probe click "$welcome" 1
    probe wait "$settings" 30 || fail "no settings dialog"
    expect_line "$(probe layout "$settings" Helv 8)" "problems=0" \
        "settings layout ($language, $scale %)"
    shot "layout-$scale-$language-settings"
    probe click "$settings" 2
    wait "$pid"
done

# A long name keeps its end (where the version is) in the analysis dialog's one line: its middle
# gives way to an ellipsis. The trace holds the dialog with its compatibility-list box. The
# Windows program takes the name of -h in lower case.
long=Qel32_firmware_for_the_instrument_range_2.1.0_build_0042_for_line_B.hex
cp gauge.hex "$long"
for language in e f; do
    analysis="Analysing in progress..."
    [ $language = f ] && analysis="Analyse en cours..."
    timeout 120 "$wine_run" "$work/Qel32.exe" -l$language -d "-h$long" &
    pid=$!
    if probe wait "$analysis" 60; then
        # Its text line once drawn: a loaded machine may take a while to fill it.
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            sleep 1
            line=$(probe dump "$analysis" | grep 'control id=1022 ')
            printf '%s\n' "$line" | grep -q '\.hex' && break
        done
        printf '%s\n' "$line" | grep -q '…' || fail "no ellipsis in the long name ($language, $scale %): $line"
        expect_line "$line" 'for_line_b.hex"' "the long name's end ($language, $scale %)"
        expect_line "$(probe layout "$analysis")" "problems=0" "analysis layout, long name ($language, $scale %)"
        shot "long-name-$scale-$language"
    else
        fail "no analysis dialog for the long name ($language)"
    fi
    probe wait Qel32 10 && probe click Qel32 2 # the trace box's Cancel ends the program
    wait "$pid"
done

# Our own read-me files are read whole without scrolling sideways: each line fits the pane.
cp "$here/../../doc/README.TXT" "$here/../../doc/LISEZMOI.TXT" .
for language in e f; do
    readme="Read me" welcome="Upgrading instruments"
    [ $language = f ] && readme="Lisez-moi" welcome="Mise à jour des appareils"
    timeout 120 "$wine_run" "$work/Qel32.exe" -l$language &
    pid=$!
    if probe wait "$readme" 60; then
        fits=$(probe fits "$readme" 1024)
        echo "our read-me ($language, $scale %): $fits"
        expect_line "$fits" "fits=1" "our read-me's lines in the pane ($language, $scale %)"
        # Its fixed-pitch font follows the scaling: 11 pixels a line or more at 100 %.
        height=$(probe lineheight "$readme" 1024)
        echo "read-me line height ($language, $scale %): $height"
        [ $((${height:-0} * 100)) -ge $((11 * scale)) ] ||
            fail "the read-me's lines are ${height:-?} pixels high at $scale %"
        # A supplier's longer lines scroll sideways.
        style=$(probe dump "$readme" | sed -n 's/^control id=1024 .* style=\(0x[0-9a-f]*\).*/\1/p')
        [ $(((${style:-0} >> 20) & 1)) = 1 ] || fail "the read-me pane has no horizontal scroll bar"
        probe close "$readme"
        probe wait "$welcome" 30 && probe click "$welcome" 2
    else
        fail "no read-me ($language)"
    fi
    wait "$pid"
done

finish "the gauge and the layout at $scale %"
