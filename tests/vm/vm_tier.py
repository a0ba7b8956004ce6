#!/usr/bin/env python3
"""qel32 on the kernel's own serial drivers: a Debian kernel in QEMU (TCG, no KVM) with an
emulated 16550 UART and emulated FTDI USB adapters, each wired to a simulated instrument on
this side. The guest (guest_init.sh) runs the cases; this side pulls adapters out and plugs
them back in through QMP when the guest asks, watches the UART's line format, and checks what
each instrument received.

usage: vm_tier.py QEL32 QELSIM HEXFILE [WORKDIR]
"""
import atexit
import glob
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "usbserial", "ftdi_sio"]
MONITOR = "20231107A01"
BOOT_LIMIT = 120  # seconds until the guest's first word
RUN_LIMIT = 900   # seconds for every case


CHILDREN = []  # every process started, ended whatever way this ends


def fail(text):
    print("vm tier: " + text, file=sys.stderr)
    sys.exit(1)


@atexit.register
def end_children():
    for child in CHILDREN:
        if child.poll() is None:
            child.kill()
            child.wait()


def kernel():
    images = sorted(glob.glob("/boot/vmlinuz-*"))
    if not images:
        fail("no kernel in /boot (apt-get install linux-image-amd64)")
    image = images[-1]
    release = os.path.basename(image)[len("vmlinuz-"):]
    return image, "/lib/modules/" + release


def libraries(program):
    """The shared libraries a program loads, with the loader."""
    out = subprocess.run(["ldd", program], capture_output=True, text=True, check=True).stdout
    return [m.group(1) for m in re.finditer(r"(/\S+) \(0x", out)]


def build_initramfs(work, qel32, hexfile, modules):
    root = os.path.join(work, "root")
    for d in ["bin", "lib/modules", "work", "etc"]:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    shutil.copy("/bin/busybox", os.path.join(root, "bin/busybox"))
    shutil.copy(qel32, os.path.join(root, "bin/qel32"))
    for lib in libraries(qel32):
        target = os.path.join(root, lib.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(lib, target)
    for name in MODULES:
        found = glob.glob(os.path.join(modules, "kernel", "**", name + ".ko"), recursive=True)
        if not found:
            fail("module %s not found under %s" % (name, modules))
        shutil.copy(found[0], os.path.join(root, "lib/modules", name + ".ko"))
    shutil.copy(hexfile, os.path.join(root, "work", "QELDEMO.HEX"))
    init = os.path.join(root, "init")
    shutil.copy(os.path.join(HERE, "guest_init.sh"), init)
    os.chmod(init, 0o755)
    names = subprocess.run(["find", "."], cwd=root, capture_output=True, check=True).stdout
    archive = subprocess.run(["/bin/busybox", "cpio", "-o", "-H", "newc"], cwd=root, input=names,
                             capture_output=True, check=True).stdout
    path = os.path.join(work, "initrd.cpio")
    with open(path, "wb") as f:
        f.write(archive)
    return path


class Instrument:
    """A simulated instrument on a pseudo-terminal, as the host side of one serial line."""

    def __init__(self, qelsim, work, name, extra=()):
        self.folder = os.path.join(work, name)
        os.makedirs(self.folder)
        self.log = os.path.join(self.folder, "received.log")
        self.image = os.path.join(self.folder, "image.bin")
        self.process = subprocess.Popen(
            [qelsim, "--ports", self.folder, "--port", "1", "--monitor", MONITOR, "--log",
             self.log, "--image", self.image, *extra], stdout=subprocess.PIPE, text=True)
        CHILDREN.append(self.process)
        ready = self.process.stdout.readline().split()
        if len(ready) < 3 or ready[0] != "ready":
            fail("the simulator %s did not start" % name)
        self.device = ready[2]

    def received(self):
        try:
            with open(self.log, "rb") as f:
                return f.read().decode("ascii", "replace")
        except FileNotFoundError:
            return ""

    def stop(self):
        self.process.kill()
        self.process.wait()


def expected_image(hexfile):
    image, base = {}, 0
    for line in open(hexfile):
        line = line.strip()
        if not line.startswith(":"):
            continue
        b = bytes.fromhex(line[1:])
        if b[3] == 0:
            for i, v in enumerate(b[4:4 + b[0]]):
                image[base + (b[1] << 8 | b[2]) + i] = v
        elif b[3] == 4:
            base = (b[4] << 8 | b[5]) << 16
    return bytes(image[a] for a in sorted(image))


def records(hexfile):
    return [line.strip() for line in open(hexfile) if line.startswith(":")]


class Qmp:
    """QEMU's machine protocol: one JSON object a line."""

    def __init__(self, path):
        deadline = time.time() + 30
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(path)
                break
            except OSError:
                if time.time() > deadline:
                    fail("no QMP socket")
                time.sleep(0.1)
        self.buffer = b""
        self.events = []
        self.next_message(30)  # the greeting
        self.call("qmp_capabilities")

    def next_message(self, seconds):
        deadline = time.time() + seconds
        while b"\n" not in self.buffer:
            left = deadline - time.time()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                return None
            if not data:
                fail("QEMU closed its QMP socket")
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def call(self, command, **arguments):
        self.sock.sendall((json.dumps({"execute": command, "arguments": arguments}) + "\n")
                          .encode())
        while True:
            reply = self.next_message(30)
            if reply is None:
                fail("QMP %s: no reply" % command)
            if "event" in reply:
                self.events.append(reply)
                continue
            if "error" in reply:
                fail("QMP %s: %s" % (command, reply["error"]))
            return reply

    def wait_event(self, name, device, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            for e in self.events:
                if e["event"] == name and e.get("data", {}).get("device") == device:
                    self.events.remove(e)
                    return
            message = self.next_message(1)
            if message is not None:
                self.events.append(message)
        fail("no %s event for %s" % (name, device))


def main():
    if len(sys.argv) < 4:
        fail(__doc__)
    qel32, qelsim, hexfile = (os.path.abspath(a) for a in sys.argv[1:4])
    work = sys.argv[4] if len(sys.argv) > 4 else tempfile.mkdtemp(prefix="qel32-vm-")
    os.makedirs(work, exist_ok=True)
    image, modules = kernel()
    started = time.time()
    initrd = build_initramfs(work, qel32, hexfile, modules)

    uart = Instrument(qelsim, work, "uart")
    adapter = Instrument(qelsim, work, "adapter", ["--turnaround", "20"])
    twins = [Instrument(qelsim, work, "twin%d" % i) for i in (1, 2)]
    other = Instrument(qelsim, work, "other")
    instruments = [uart, adapter, *twins, other]
    console = os.path.join(work, "console.log")
    qmp_path = os.path.join(work, "qmp.sock")
    command = [
        "qemu-system-x86_64", "-accel", "tcg", "-m", "384", "-display", "none", "-no-reboot",
        "-nic", "none", "-kernel", image, "-initrd", initrd,
        "-append", "console=ttyS0 panic=-1 quiet",
        "-chardev", "file,id=console,path=" + console, "-serial", "chardev:console",
        "-chardev", "serial,id=uart,path=" + uart.device, "-serial", "chardev:uart",
        "-device", "qemu-xhci,id=xhci",
        "-chardev", "serial,id=adapter,path=" + adapter.device,
        "-device", "usb-serial,id=adapter,bus=xhci.0,chardev=adapter,serial=QEL-A",
        "-chardev", "serial,id=twin1,path=" + twins[0].device,
        "-device", "usb-serial,id=twin1,bus=xhci.0,chardev=twin1,serial=QEL-TWIN",
        "-chardev", "serial,id=twin2,path=" + twins[1].device,
        "-device", "usb-serial,id=twin2,bus=xhci.0,chardev=twin2,serial=QEL-TWIN",
        "-chardev", "serial,id=other,path=" + other.device,
        "-qmp", "unix:%s,server=on,wait=off" % qmp_path,
    ]
    qemu = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    CHILDREN.insert(0, qemu)
    qmp = Qmp(qmp_path)
    results, failures, read, first_word = {}, [], 0, None
    formats, watching, plugged_at = set(), False, 0
    lines = records(hexfile)
    expected = expected_image(hexfile)

    def check(name, ok, why):
        results[name] = ok
        print("%s %s: %s" % ("PASS" if ok else "FAIL", name, why))
        if not ok:
            failures.append(name)

    done = False
    while not done:
        if qemu.poll() is not None:
            break
        now = time.time()
        if first_word is None and now - started > BOOT_LIMIT:
            fail("the guest said nothing in %d s" % BOOT_LIMIT)
        if now - started > RUN_LIMIT:
            qemu.kill()
            fail("the cases took more than %d s" % RUN_LIMIT)
        if watching:
            stty = subprocess.run(["stty", "-F", uart.device, "-a"], capture_output=True,
                                  text=True).stdout
            words = set(stty.replace(";", " ").split())
            formats.add(" ".join(w for w in ("cs7", "cs8", "parenb", "-parenb", "parodd",
                                             "-parodd", "cstopb", "-cstopb") if w in words))
        try:
            with open(console, "rb") as f:
                f.seek(read)
                chunk = f.read()
        except FileNotFoundError:
            chunk = b""
        if not chunk.endswith(b"\n"):
            chunk = chunk[:chunk.rfind(b"\n") + 1]
        read += len(chunk)
        if not chunk:
            time.sleep(0.05)
            continue
        for raw in chunk.decode("utf-8", "replace").splitlines():
            line = raw.strip()
            if first_word is None and line.startswith("@@"):
                first_word = time.time() - started
            if not line.startswith("@@") or line.startswith("@@replugged"):
                if line.startswith("----") or "FAIL" in line:
                    print("  guest: " + line)
                continue
            word = line.split()
            if word[0] == "@@RESULT":
                check(word[1], word[2] == "PASS", " ".join(word[3:]))
            elif word[0] == "@@UNPLUG":
                # Once the adapter's instrument has taken more lines, out it goes.
                base = adapter.received().count("\n:")
                deadline = time.time() + 60
                while adapter.received().count("\n:") < base + int(word[1]):
                    if time.time() > deadline:
                        fail("the adapter's instrument received no lines to pull it out on")
                    time.sleep(0.02)
                qmp.call("device_del", id="adapter")
                qmp.wait_event("DEVICE_DELETED", "adapter")
            elif word[0] == "@@PLUG":
                plugged_at = len(adapter.received())
                qmp.call("device_add", driver="usb-serial", id="adapter", bus="xhci.0",
                         chardev="adapter", serial="QEL-A")
            elif word[0] == "@@PLUG-OTHER":
                qmp.call("device_add", driver="usb-serial", id="other", bus="xhci.0",
                         chardev="other", serial="QEL-OTHER")
            elif word[0] == "@@FORMAT-WATCH":
                watching = word[1] == "begin"
                if not watching:
                    check("uart7e2-line", any("cstopb" in f and "-cstopb" not in f
                                              for f in formats),
                          "line formats seen on the UART's far side: %s" % sorted(formats))
            elif word[0] == "@@IMAGE":
                source = uart if word[1] == "uart" else adapter
                try:
                    got = open(source.image, "rb").read()
                except FileNotFoundError:
                    got = b""
                ok = got == expected
                why = "%d bytes rebuilt, %s" % (len(got), "the file's data" if ok else "NOT it")
                if word[1] == "replug":
                    # The whole file again, every record, in order, after the adapter came back.
                    sent = adapter.received()[plugged_at:]
                    whole = "\n".join(lines) + "\n" in sent
                    ok = ok and whole
                    why += "; every record after the replug" if whole else "; records missing"
                    if other.received():
                        ok = False
                        why += "; the other adapter got %r" % other.received()[:60]
                check("image-" + word[1], ok, why)
            elif word[0] == "@@DONE":
                done = True
    try:
        qemu.wait(timeout=30)
    except subprocess.TimeoutExpired:
        qemu.kill()
    for instrument in instruments:
        instrument.stop()
    total = time.time() - started
    wanted = ["uart", "image-uart", "uart7e2-run", "uart7e2-line", "port-list", "user-outside",
              "user-inside", "usb", "image-usb", "latency-root", "latency-op", "unplug", "replug",
              "image-replug"]
    missing = [w for w in wanted if w not in results]
    print("vm tier: first word from the guest after %.1f s, all cases in %.1f s"
          % (first_word or -1, total))
    if not done or missing or failures:
        sys.stderr.write(qemu.stderr.read() if qemu.stderr else "")
        print("---- guest console (%s)" % console)
        print(open(console, errors="replace").read()[-6000:])
        fail("failed: %s; missing: %s" % (failures, missing))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
