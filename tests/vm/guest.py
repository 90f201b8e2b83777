"""A QEMU guest with real kernel serial drivers, for the tests of the built programs on them.

Debian's own kernel boots a busybox initramfs under QEMU (TCG, no KVM needed) with three lines:
- an FTDI FT232 USB adapter (driver ftdi_sio, /dev/ttyUSB0), its far end a socket on the host,
- a 16550 UART (driver 8250, /dev/ttyS1), its far end a socket on the host,
- a USB gadget pair inside the guest (dummy_hcd + g_serial): /dev/ttyACM0 (driver cdc_acm) for
  the program, /dev/ttyGS0 as the transmitter's end.
The host's root is shared read-only and the guest works chrooted into it, so the host's build,
libraries and Qt plugins are found at their own paths; a writable share of the run's folder,
mounted at the same path, carries results out. The guest's shell listens on its console, and
QMP unplugs and replugs the FTDI adapter.

The initramfs is cached in the build folder, keyed by the kernel and this file, so reruns start
at once.
"""

import glob
import hashlib
import json
import os
import shutil
import socket
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Modules the initramfs needs to reach the host's files; every other module is loaded from the
# host's tree once that is mounted.
SHARE_MODULES = ["virtio_pci", "9pnet_virtio", "9p"]
GUEST_MODULES = ["usbcore", "xhci_pci", "usbserial", "ftdi_sio", "cdc_acm", "usbmon",
                 "dummy_hcd", "usb_f_acm", "u_serial", "usb_f_serial", "g_serial"]

INIT = r"""#!/bin/busybox sh
/bin/busybox --install -s /bin
mkdir -p /proc /sys /dev /host
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in /lib/*.ko; do insmod $m; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=none host /host
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/pts
mount -t devpts -o ptmxmode=0666 devpts /host/dev/pts
mount -t debugfs debugfs /host/sys/kernel/debug
mount -t tmpfs run /host/run
out=$(sed -n "s/.*vx.out=\([^ ]*\).*/\1/p" /proc/cmdline)
mount -t 9p -o trans=virtio,version=9p2000.L,cache=none out /host$out
echo VX-GUEST-UP > /dev/ttyS0
exec setsid chroot /host /bin/sh -c 'exec /bin/sh -i </dev/ttyS0 >/dev/ttyS0 2>&1'
"""


class GuestError(Exception):
    pass


def wait_or_kill(proc, timeout):
    """Waits for a process that was asked to end; kills it when it does not."""
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout)


def qemu_binary():
    return shutil.which("qemu-system-x86_64")


def kernel_image():
    """The newest installed Debian kernel and its module tree."""
    for image in sorted(glob.glob("/boot/vmlinuz-*"), reverse=True):
        version = os.path.basename(image)[len("vmlinuz-"):]
        if os.path.isdir("/lib/modules/" + version):
            return image, version
    return None, None


def build_initramfs(cache_dir, version):
    """The initramfs for this kernel, built once per build folder: busybox, the modules that
    reach the host's files (in the order kmod gives, dependencies first) and init."""
    with open(os.path.abspath(__file__), "rb") as f:
        key = hashlib.sha256(f.read() + version.encode()).hexdigest()[:16]
    target = os.path.join(cache_dir, "initramfs-%s.cpio" % key)
    if os.path.exists(target):
        return target
    busybox = shutil.which("busybox")
    if not busybox:
        raise GuestError("busybox is not installed (package busybox-static)")
    stage = os.path.join(cache_dir, "stage")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage + "/bin")
    os.makedirs(stage + "/lib")
    shutil.copy(busybox, stage + "/bin/busybox")
    with open(stage + "/init", "w") as f:
        f.write(INIT)
    os.chmod(stage + "/init", 0o755)
    modules = []
    for name in SHARE_MODULES:
        order = subprocess.run(["/sbin/modprobe", "-S", version, "--show-depends", name],
                               capture_output=True, text=True, check=True).stdout.split()
        modules += [word for word in order if word.endswith(".ko")]
    for number, path in enumerate(dict.fromkeys(modules)):
        # Numbered, so that the shell's sorted glob loads them in this order.
        shutil.copy(path, "%s/lib/%02d-%s" % (stage, number, os.path.basename(path)))
    for old in glob.glob(os.path.join(cache_dir, "initramfs-*.cpio")):
        os.unlink(old)
    names = subprocess.run(["find", ".", "-mindepth", "1"], cwd=stage, capture_output=True,
                           check=True).stdout
    with open(target + ".part", "wb") as f:
        subprocess.run([busybox, "cpio", "-o", "-H", "newc"], cwd=stage, input=names, stdout=f,
                       stderr=subprocess.DEVNULL, check=True)
    os.replace(target + ".part", target)
    shutil.rmtree(stage)
    return target


class Guest:
    """One booted guest. `run` executes a shell command in it (chrooted into the host's root)
    and returns its output and exit status; `start` leaves one running in the background."""

    def __init__(self, work_dir, cache_dir, log=print):
        self.work = os.path.abspath(work_dir)
        self.cache = cache_dir
        self.log = log
        self.proc = None
        self.console = None
        self.buffer = b""
        self.qmp_sock = None
        self.version = None

    # ---- boot and shutdown -----------------------------------------------------------------

    def boot(self, timeout=120):
        qemu = qemu_binary()
        if not qemu:
            raise GuestError("qemu-system-x86_64 is not installed (package qemu-system-x86)")
        image, self.version = kernel_image()
        if not image:
            raise GuestError("no kernel with modules in /boot (package linux-image-amd64)")
        initrd = build_initramfs(self.cache, self.version)
        os.makedirs(self.work, exist_ok=True)
        sock = lambda name: os.path.join(self.work, name + ".sock")
        for name in ("console", "qmp", "ftdi", "uart"):
            if os.path.exists(sock(name)):
                os.unlink(sock(name))
        args = [
            qemu, "-machine", "pc", "-accel", "tcg", "-m", "1024", "-smp", "1",
            "-nodefaults", "-no-user-config", "-display", "none",
            "-kernel", image, "-initrd", initrd,
            # The guest mounts the run's folder at its own path, which it reads from here.
            "-append",
            "console=ttyS0 quiet loglevel=1 panic=-1 8250.nr_uarts=2 vx.out=" + self.work,
            "-chardev", "socket,id=con,path=%s,server=on,wait=off" % sock("console"),
            "-serial", "chardev:con",
            "-chardev", "socket,id=uart,path=%s,server=on,wait=off" % sock("uart"),
            "-device", "isa-serial,chardev=uart,index=1",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "socket,id=ftdi,path=%s,server=on,wait=off" % sock("ftdi"),
            "-device", "usb-serial,chardev=ftdi,id=ftdi0,bus=xhci.0",
            "-virtfs",
            "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap",
            "-virtfs", "local,path=%s,mount_tag=out,security_model=none" % self.work,
            "-qmp", "unix:%s,server=on,wait=off" % sock("qmp"),
            "-no-reboot",
        ]
        self.log("vm: booting " + os.path.basename(image))
        with open(os.path.join(self.work, "qemu.log"), "wb") as err:
            self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        deadline = time.monotonic() + 20
        while not all(os.path.exists(sock(n)) for n in ("console", "qmp")):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise GuestError("QEMU did not start: " + self._qemu_log())
            time.sleep(0.05)
        self.console = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.console.connect(sock("console"))
        self.qmp_sock = sock("qmp")
        # QEMU plugs the FTDI adapter in only once its far end is connected.
        self.ftdi = HostLine(self.work, "ftdi")
        self.uart = HostLine(self.work, "uart")
        self.ftdi.connect()
        self.uart.connect()
        started = time.monotonic()
        self._read_until(b"VX-GUEST-UP", timeout)
        # A quiet shell: no echo of what is sent, no prompt.
        self.console.sendall(b"stty -echo; PS1=''; PS2=''\n")
        time.sleep(0.5)
        self.run("true", timeout=30)
        self.log("vm: guest up in %.1f s" % (time.monotonic() - started))
        for module in GUEST_MODULES:
            self.run("modprobe " + module, timeout=60)
        # USB devices need a moment to enumerate.
        for path in ("/dev/ttyACM0", "/dev/ttyGS0", "/dev/ttyUSB0"):
            self.wait_path(path, 30)

    def _qemu_log(self):
        try:
            with open(os.path.join(self.work, "qemu.log"), errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def ended(self):
        """Whether QEMU itself has ended (crashed, or was ended from outside)."""
        return self.proc is not None and self.proc.poll() is not None

    def exit_text(self):
        status = self.proc.poll() if self.proc else None
        how = ("signal %d" % -status) if status is not None and status < 0 else "status %s" % status
        return "QEMU ended with %s %s" % (how, self._qemu_log().strip()[-300:])

    def stop(self):
        for line in (getattr(self, "ftdi", None), getattr(self, "uart", None)):
            if line:
                line.close()
        if self.console:
            try:
                self.console.close()
            except OSError:
                pass
            self.console = None
        if self.proc and self.proc.poll() is None:
            try:
                self.qmp("quit")
            except Exception:
                pass
            wait_or_kill(self.proc, 10)
        self.proc = None

    # ---- console ------------------------------------------------------------------------------

    def _read_until(self, marker, timeout):
        deadline = time.monotonic() + timeout
        while marker not in self.buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise GuestError("the guest did not answer within %d s; console: %r" %
                                 (timeout, self.buffer[-1500:]))
            if self.proc.poll() is not None:
                raise GuestError("QEMU ended: " + self._qemu_log())
            self.console.settimeout(min(remaining, 1.0))
            try:
                chunk = self.console.recv(65536)
            except socket.timeout:
                continue
            if not chunk:
                raise GuestError("the guest's console closed")
            self.buffer += chunk
        at = self.buffer.index(marker) + len(marker)
        before, self.buffer = self.buffer[:at], self.buffer[at:]
        return before

    def run(self, command, timeout=60, check=True):
        """Runs a shell command in the guest; returns (status, output)."""
        self._count = getattr(self, "_count", 0) + 1
        tag = "VX%dX" % self._count
        self.buffer = b""
        # The marker is spelled so that an echo of the command line cannot contain it.
        line = "( %s ) </dev/null 2>&1; echo; echo %s-$?-E''ND\n" % (command, tag)
        self.console.sendall(line.encode())
        text = self._read_until(b"-END", timeout).decode(errors="replace")
        start = text.rfind(tag + "-")
        status = int(text[start + len(tag) + 1:].split("-")[0])
        output = text[:start].strip("\r\n")
        if check and status != 0:
            raise GuestError("guest command failed (%d): %s\n%s" % (status, command, output))
        return status, output

    def start(self, command, log_path):
        """Starts a command in the guest's background, its output to log_path (a path below the
        run's folder, the same on both sides) and its exit status, once it ended, to
        log_path.rc."""
        # A process group of its own, so that `stop` ends all of it.
        self.run("setsid sh -c '( %s ) >%s 2>&1 </dev/null; echo $? >%s.rc' & echo $! >%s.pid" %
                 (command.replace("'", "'\\''"), log_path, log_path, log_path))

    def stop_job(self, log_path):
        """Ends what `start` started, if it still runs."""
        self.run("kill -TERM -- -$(cat %s.pid) 2>/dev/null" % log_path, check=False)

    def wait_path(self, path, timeout):
        deadline = time.monotonic() + timeout
        while self.run("test -e " + path, check=False)[0] != 0:
            if time.monotonic() > deadline:
                raise GuestError(path + " did not appear in the guest")
            time.sleep(0.2)

    # ---- QMP ----------------------------------------------------------------------------------

    def qmp(self, command, **arguments):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.settimeout(20)
        s.connect(self.qmp_sock)
        f = s.makefile("rwb")
        json.loads(f.readline())
        for cmd, args in (("qmp_capabilities", {}), (command, arguments)):
            f.write(json.dumps({"execute": cmd, "arguments": args}).encode() + b"\n")
            f.flush()
            while True:
                reply = json.loads(f.readline())
                if "event" in reply:
                    continue
                if "error" in reply:
                    s.close()
                    raise GuestError("QMP %s: %s" % (cmd, reply["error"]))
                break
        s.close()
        return reply.get("return")


class HostLine:
    """The host end of one of the guest's lines: a pseudo-terminal for the simulator, joined to
    QEMU's socket by socat."""

    def __init__(self, work_dir, name):
        self.sock = os.path.join(work_dir, name + ".sock")
        self.path = os.path.join(work_dir, "tty-" + name)
        self.proc = None
        self.hold = None

    def connect(self):
        self.close()
        self.proc = subprocess.Popen(
            ["socat", "UNIX-CONNECT:" + self.sock, "PTY,raw,echo=0,link=" + self.path],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.path):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise GuestError("socat could not join " + self.sock)
            time.sleep(0.02)
        # Held open, so that the line outlives each simulator run on it: socat ends when the
        # last holder of its pseudo-terminal closes it.
        self.hold = os.open(self.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def close(self):
        if self.hold is not None:
            os.close(self.hold)
            self.hold = None
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            wait_or_kill(self.proc, 5)
        self.proc = None
