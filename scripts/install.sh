#!/bin/bash
# Builds the packages and installs the .deb on this machine: qel32 and qelsim in /usr/bin, the
# manual pages, the sample in /usr/share/doc/qel32/examples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/package.sh >/dev/null
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$root"/build/package/qel32_*_amd64.deb \
    >/dev/null
echo "installed: $(command -v qel32) ($(qel32 --version))"
