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
# finish WHAT: the script's verdict.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "$1: all checks passed"
    exit 0
}
