#!/bin/bash
# Builds the .deb and installs it on this machine: qel32 and qelsim in /usr/bin, the manual
# pages, the sample in /usr/share/doc/qel32/examples. It installs only what building the .deb
# needs: no test tool, no kernel, nothing a production PC boots differently with.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/package.sh deb >/dev/null
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$root"/build/package/qel32_*_amd64.deb \
    >/dev/null
echo "installed: $(command -v qel32) ($(qel32 --version))"
