#!/bin/bash
# The packages: the .deb is lintian-clean (no error), installs on this machine and its qel32
# answers --version from the installed path; the Windows zip holds what a Windows user needs,
# its read-me texts in the Windows code page with CR LF.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/package.sh
deb=$(ls build/package/qel32_*_amd64.deb)
zip=$(ls build/win-package/Qel32-*-win64.zip)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

report=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors for $deb:
$report"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$root/$deb" >/dev/null
    version=$(/usr/bin/qel32 --version | head -n 1)
    [ "$version" = "qel32 2.1.0.0" ] || fail "installed qel32 --version: '$version'"
    [ -f /usr/share/man/man1/qel32.1.gz ] || fail "no manual page qel32(1)"
    [ -f /usr/share/doc/qel32/examples/QELDEMO.HEX ] || fail "no sample"
    /usr/bin/qelsim --help | grep -q -- "--ports DIR" || fail "installed qelsim --help"
    # The README's example for a package user, run as it stands from a folder of nothing, and
    # the same lines in both manual pages.
    example=$(sed -n '/(the packaging test runs these lines as they stand):/,/^kill/p' README.md |
              sed -n '/^```sh$/,/^kill/p' | sed '1d')
    [ -n "$example" ] || fail "no package example in the README"
    out=$(cd "$(mktemp -d)" && printf 'o\no\n' | timeout 120 bash -e -c "$example" 2>&1) ||
        fail "the README's example failed: $out"
    printf '%s\n' "$out" | grep -q "successfully done" || fail "the README's example did not upgrade: $out"
    # The production line of the README, as it stands: two operators' loops, one unit that
    # fails, and the yield the journal gives.
    line=$(sed -n '/^### On a production line/,/^### /p' README.md |
           sed -n '/the packaging test runs them/,/^```$/p' | sed -n '/^```sh$/,/^```$/p' |
           sed '1d;$d')
    [ -n "$line" ] || fail "no production line in the README"
    errors=$(mktemp)
    out=$(cd "$(mktemp -d)" && timeout 300 bash -e -c "$line" </dev/null 2>"$errors" | jq -c .) ||
        fail "the README's production line failed: $out $(cat "$errors")"
    for part in '"station":"line1","units":2,"firstPass":2' '"station":"line2","units":1,"firstPass":0' \
                '"failed":[{"station":"line2","unit":"SN-line2-1"'; do
        printf '%s\n' "$out" | grep -q -F "$part" ||
            fail "the README's production line gave no $part: $out"
    done
    # A station installs what building the .deb needs, and nothing of the test rig.
    for tool in $(bash scripts/setup.sh deb --list); do
        case $tool in wine* | qemu* | linux-image* | *mingw* | xvfb | lintian | xdotool | \
            imagemagick | busybox* | googletest) fail "setup.sh deb installs $tool" ;;
        esac
    done
    grep -q 'package.sh deb' scripts/install.sh || fail "install.sh builds more than the .deb"
    for page in qel32 qelsim; do
        text=$(zcat "/usr/share/man/man1/$page.1.gz" | sed 's/\\-/-/g')
        while IFS= read -r line; do
            printf '%s\n' "$text" | grep -q -F -x -- "$line" ||
                fail "the $page manual page does not hold the example's line: $line"
        done <<<"$(printf '%s\n' "$example" | sed 's/ *#.*//')"
    done
else
    echo "the .deb is not installed here: sudo asks a password"
fi

# One folder, Qel32-<version>, with the four files in it: nothing lands beside the zip.
folder="Qel32-$(basename "$zip" -win64.zip | sed 's/^Qel32-//')"
names=$(unzip -Z1 "$zip" | sed 's|/$||' | sort | tr '\n' ' ')
[ "$names" = "$folder $folder/LISEZMOI.TXT $folder/QELDEMO.HEX $folder/Qel32.exe $folder/README.TXT " ] ||
    [ "$names" = "$folder/LISEZMOI.TXT $folder/QELDEMO.HEX $folder/Qel32.exe $folder/README.TXT " ] ||
    fail "the zip holds: $names"
unzip -p "$zip" "$folder/LISEZMOI.TXT" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 &&
    fail "LISEZMOI.TXT is UTF-8, not the Windows code page"
unzip -p "$zip" "$folder/LISEZMOI.TXT" | iconv -f CP1252 -t UTF-8 | grep -q "mise à jour" ||
    fail "LISEZMOI.TXT does not read as code page 1252"
unzip -p "$zip" "$folder/LISEZMOI.TXT" | grep -q "Qel32-<version>" ||
    fail "LISEZMOI.TXT does not say to put the files in its folder"
unzip -p "$zip" "$folder/README.TXT" | grep -q "Qel32-<version>" ||
    fail "README.TXT does not say to put the files in its folder"
unzip -p "$zip" "$folder/README.TXT" | head -1 | grep -q $'\r$' || fail "README.TXT has no CR LF line ends"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "packages: $deb and $zip checked"
