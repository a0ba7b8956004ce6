#!/bin/sh
# Runs the Win32 link tests under Wine with the native simulator mapped as COM5.
# usage: wine_link_test.sh SIMULATOR TEST_EXE
set -u
simulator=$1
test_exe=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${QEL32_WINEPREFIX:=$HOME/.wine-qel32}"
ports=$(mktemp -d)
mkdir -p "$QEL32_WINEPREFIX/dosdevices"
"$simulator" --ports "$ports" --port 5 --dosdevices "$QEL32_WINEPREFIX/dosdevices" \
    --monitor 12345678A01 --monitor 12345678B02 --log "$ports/received.log" >"$ports/ready" &
sim=$!
"$simulator" --ports "$ports" --port 6 --dosdevices "$QEL32_WINEPREFIX/dosdevices" \
    --monitor 12345678A01 --xoff-after 1 >"$ports/ready6" &
held=$!
for _ in $(seq 50); do
    grep -q ready "$ports/ready" 2>/dev/null && grep -q ready "$ports/ready6" 2>/dev/null && break
    sleep 0.1
done
"$here/wine-run" "$test_exe"
status=$?
kill "$sim" "$held"
wait "$sim" "$held"
echo "bytes the instrument received:"
od -c "$ports/received.log" | head -5
rm -rf "$ports"
exit $status
