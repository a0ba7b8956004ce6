#!/bin/sh
# A fresh Wine prefix for the Windows tests, with a virtual desktop so that windows get their
# captions and frames drawn as Windows draws them (there is no window manager under Xvfb).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
# A Wine server left from a run on another X display would draw this run's windows there.
WINEPREFIX="${QEL32_WINEPREFIX:-$HOME/.wine-qel32}" wineserver -k 2>/dev/null || true
"$here/wine-run" wineboot -i >/dev/null 2>&1
"$here/wine-run" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$here/wine-run" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
# The server session that made the prefix ends here: in it, each program that had drawn took
# two seconds more to end (a new prefix's first session only), which hid how fast the program
# itself ends and made the window tests several times slower.
WINEPREFIX="${QEL32_WINEPREFIX:-$HOME/.wine-qel32}" wineserver -k 2>/dev/null || true
echo "Wine prefix ready: ${QEL32_WINEPREFIX:-$HOME/.wine-qel32}"
