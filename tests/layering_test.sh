#!/bin/sh
# The layers point one way. The system above fw/ and sys/ is written once: no platform header,
# no platform test. The link depends on fw/, sys/ and res/ alone, and reaches the program through
# its host; the transmission sequence shows nothing, so it includes nothing that shows (app/,
# ui/, the link, the dialogs).
root=${1:-$(dirname "$0")/..}
status=0
report() {
    if [ -n "$2" ]; then
        echo "$1:"
        echo "$2"
        status=1
    fi
}
report "platform code above fw/ and sys/" "$(grep -rn -E '#\s*include\s*<(windows|winbase|winuser|termios|unistd|fcntl|poll|dirent|sys/[a-z_]+)\.h>|_WIN32|__linux__|__unix__' \
    "$root/app" "$root/link" "$root/files" "$root/protocol" "$root/ui" 2>/dev/null)"
report "link/ includes more than fw/, sys/, res/ and itself" \
    "$(grep -rn -E '#\s*include\s*"' "$root/link" | grep -v -E '#\s*include\s*"(fw|sys|res|link)/')"
report "the transmission sequence includes what shows" \
    "$(grep -n -E '#\s*include\s*"(app|ui|link)/|transmission_dlg' "$root"/protocol/transmission_sequence.*)"
report "files/ includes what shows" "$(grep -rn -E '#\s*include\s*"(app|ui|link|protocol)/' \
    "$root"/files/hex_analysis.* "$root"/files/record_check.* "$root"/files/upgrade_lines.* \
    "$root"/files/upgrade_file.h)"
[ $status -eq 0 ] && echo "layering: clean"
exit $status
