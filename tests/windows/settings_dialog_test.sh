#!/bin/sh
# Qel32.exe under Wine: the settings dialog lists the device map's ports in order and the
# bridges that the stand-in library reports, marked " (USB)" in place or appended; checked
# through window queries, with a screenshot.
# usage: settings_dialog_test.sh QEL32_EXE WINPROBE_EXE SCREENSHOT_DIR WORK_DIR
set -u
. "$(dirname "$0")/common.sh"
take_dialog_args "$@"
cd "$work"

# A sound upgrade file, so that the run (and with it the settings dialog) is reached.
printf '___LIST_COMP_HEX|12345678A01|\000\000' >image.bin
srec_cat image.bin -binary -o firmware.hex -intel || exit 1

# The device map (COM3 before COM1, as a registry may hold them) and two bridges: one on COM3,
# one on COM20, which the map does not have.
map='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
usb='HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_10c4&Pid_ea60'
"$wine_run" reg add "$map" /v QelTest3 /d COM3 /f >/dev/null 2>&1
"$wine_run" reg add "$map" /v QelTest1 /d COM1 /f >/dev/null 2>&1
"$wine_run" reg add "$usb\\0001\\Device Parameters" /v PortName /d COM3 /f >/dev/null 2>&1
# Windows keeps a serial text's blanks as underscores in the instance name.
"$wine_run" reg add "$usb\\0002_B\\Device Parameters" /v PortName /d COM20 /f >/dev/null 2>&1
export QEL32_BRIDGES='10c4:ea60:0001:CP2102 USB to UART Bridge Controller;10c4:ea60:0002 B:CP2102'

timeout 120 "$wine_run" "$exe" -le -hfirmware.hex &
pid=$!
caption="Opening communication with the instrument"
if probe wait "$caption" 60; then
    items=$(probe list "$caption" 1010)
    echo "$items"
    expect_line "$items" '|COM1|1|' "COM1"
    expect_line "$items" '|COM3 (USB)|3|' "COM3 marked in place"
    expect_line "$items" '|COM20 (USB)|20|' "COM20 appended"
    # The order: COM1 (Wine's own device map may list it too) before COM3 (USB), the appended
    # bridge last.
    order=$(printf '%s\n' "$items" | cut -d'|' -f2 | tr '\n' ',')
    case "$order" in
    *COM1,*COM3\ \(USB\),*COM20\ \(USB\),) ;;
    *) fail "order: $order" ;;
    esac
    expect_line "$items" '|COM1|1|selected' "the link's port 1 selected"
    dialog=$(probe dump "$caption")
    expect_line "$dialog" 'control id=1007 class=Button visible=1' "9600"
    expect_line "$dialog" 'text="Pa&rity"' "parity group"
    shot settings-dialog
    probe click "$caption" 2
else
    fail "no settings dialog"
    kill "$pid" 2>/dev/null
fi
wait "$pid"
status=$?
[ "$status" = 2 ] || fail "Cancel ended with $status, expected 2"
finish "settings dialog under Wine"
