#!/bin/sh
# The system above fw/ and sys/ is written once: no platform header, no platform test.
root=${1:-$(dirname "$0")/..}
hits=$(grep -rn -E '#\s*include\s*<(windows|winbase|winuser|termios|unistd|fcntl|poll|dirent|sys/[a-z_]+)\.h>|_WIN32|__linux__|__unix__' \
    "$root/app" "$root/link" "$root/files" "$root/protocol" "$root/ui" 2>/dev/null)
if [ -n "$hits" ]; then
    echo "platform code above fw/ and sys/:"
    echo "$hits"
    exit 1
fi
echo "layering: clean"
