#!/bin/bash
# Builds both programs and runs every test: native under AddressSanitizer and
# UndefinedBehaviorSanitizer, as root and as an ordinary user (ownership and exclusive use of
# ports look different to each), then the cross-built Windows program and tests under Wine and
# Xvfb, the packages, and the packaged program on a Linux kernel's own serial drivers in QEMU.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh all
jobs=$(nproc)
sanitizers=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1)

echo "== fuzzing (libFuzzer, ASan + UBSan), 20 s a target"
bash tests/fuzz/run.sh 20

echo "== the README's demo, without a terminal"
bash scripts/demo.sh </dev/null | tail -2

echo "== native build (ASan + UBSan), tests as $(id -un)"
cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL32_SANITIZE=ON >/dev/null
cmake --build build/native-asan -j "$jobs"
env "${sanitizers[@]}" ctest --test-dir build/native-asan --output-on-failure -j "$jobs"

# The other side: an ordinary user when this runs as root (in a copy of the tree the user
# owns), root through sudo when it does not and sudo asks no password.
if [ "$(id -u)" -eq 0 ]; then
    user=qel32-tester
    id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
    copy=$(mktemp -d /tmp/qel32-ordinary-user.XXXXXX)
    tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
    chown -R "$user" "$copy"
    echo "== native build (ASan + UBSan), tests as the ordinary user $user"
    runuser -u "$user" -- env "${sanitizers[@]}" bash -c "
        set -e
        cd '$copy'
        cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL32_SANITIZE=ON \
            >/dev/null
        cmake --build build/native-asan -j $jobs >/dev/null
        ctest --test-dir build/native-asan --output-on-failure -j $jobs"
    rm -rf "$copy"
elif sudo -n true 2>/dev/null; then
    echo "== native tests as root"
    sudo env "${sanitizers[@]}" ctest --test-dir build/native-asan --output-on-failure -j "$jobs"
else
    echo "== native tests as root: skipped (sudo asks a password); CI runs them"
fi

echo "== Windows build (mingw-w64), tests under Wine"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DQEL32_SIMULATOR="$root/build/native-asan/qelsim" >/dev/null
cmake --build build/win -j "$jobs"
echo "(screenshots of the Windows program go to build/win/screenshots/)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build/win --output-on-failure

echo "== packages"
bash tests/packaging_test.sh

echo "== the kernel's own serial drivers: a Linux kernel in QEMU, its UART and USB adapters"
python3 tests/vm/vm_tier.py build/package/qel32 build/package/qelsim samples/QELDEMO.HEX
