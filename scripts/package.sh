#!/bin/bash
# Builds the packages: build/package/qel32_<version>_amd64.deb (qel32, qelsim, their manual
# pages, the sample) and build/win-package/Qel32-<version>-win64.zip (Qel32.exe, README.TXT and
# LISEZMOI.TXT as Windows reads them, the sample).  usage: package.sh [deb]  (the .deb alone)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scope=${1:-all}
bash scripts/setup.sh "$([ "$scope" = deb ] && echo deb || echo all)"
jobs=$(nproc)
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build/package -j "$jobs" >/dev/null
(cd build/package && cpack >/dev/null)
if [ "$scope" = deb ]; then
    ls build/package/qel32_*_amd64.deb
    exit 0
fi
cmake -S . -B build/win-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL32_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win-package -j "$jobs" >/dev/null
(cd build/win-package && cpack >/dev/null)
ls build/package/qel32_*_amd64.deb build/win-package/Qel32-*-win64.zip
