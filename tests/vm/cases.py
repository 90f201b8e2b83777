"""The command line and the simulator on the kernel's real serial drivers, in a QEMU guest.

Per driver (ftdi_sio, 8250, cdc_acm) the command line runs in the guest and the simulator plays
the transmitter at the line's far end (on the host for the FTDI adapter and the UART, in the
guest on the gadget's /dev/ttyGS0): save one MC-22 model, save all of three (each
acknowledgement timed by the simulator), restore model 2 of an all-models file, save the whole
MC-18 memory at 4000 Bd. Every saved or received byte is compared with what a run on a
pseudo-terminal on the host gave. Then the FTDI adapter is pulled in the middle of a save and
plugged in again.

Usage: cases.py [--measure FILE] [--cli PATH] [--only PREFIX]
       (programs from VAULTIX_CLI, VAULTIX_SIM)
Exit status 0 when every case passed; QEMU that cannot start is a failure, not a skip.
--measure also counts the FTDI adapter's USB control requests (usbmon) and writes the figures as
JSON; --cli runs another build of the command line in the guest (a baseline); --only runs the
cases whose names begin so.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import guest as vm

SIM = os.environ.get("VAULTIX_SIM", "")
CLI = os.environ.get("VAULTIX_CLI", "")
BUILD = os.environ.get("VAULTIX_BUILD_DIR", "")

# The program's device and where the transmitter sits, per driver.
DRIVERS = [("ftdi_sio", "/dev/ttyUSB0", "host:ftdi"), ("8250", "/dev/ttyS1", "host:uart"),
           ("cdc_acm", "/dev/ttyACM0", "guest:/dev/ttyGS0")]
ACK_MS, ACK_SLACK_MS = 700, 40
MODEL_BYTES = 1024
RESTORE_LIMIT_MS = 4000  # one MC-22 model, 2560 ms on the line
STEP_TIMEOUT = 60
BUDGET_S = 255  # no case starts later: the layer ends with its diagnosis within ctest's 300 s


class Failure(Exception):
    pass


def wait_for(check, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("no %s within %d s" % (what, timeout))
        time.sleep(0.01)


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


class Job:
    """A program started in the guest or on the host; its output goes to a log in the run's
    folder and its exit status to the log's .rc once it ended."""

    def __init__(self, log, guest=None):
        self.log = log
        self.guest = guest
        self.host = None

    def status(self, timeout=STEP_TIMEOUT):
        return int(wait_for(lambda: read(self.log + ".rc").strip(), timeout,
                            "end of " + os.path.basename(self.log)))

    def output(self):
        return read(self.log)

    def stop(self):
        if read(self.log + ".rc"):
            return
        if self.guest:
            self.guest.stop_job(self.log)
        if self.host and self.host.poll() is None:
            os.killpg(self.host.pid, signal.SIGTERM)
            self.host.wait(10)


class Rig:
    def __init__(self, work, cli):
        self.work = work
        self.cli = cli
        self.guest = vm.Guest(os.path.join(work, "vm"), os.path.join(BUILD or work, "vm-cache"))
        self.count = 0
        self.figures = {}
        self.jobs = []

    def path(self, name):
        self.count += 1
        return os.path.join(self.guest.work, "%02d-%s" % (self.count, name))

    def start_guest(self, command, name):
        job = Job(self.path(name), self.guest)
        self.guest.start(command, job.log)
        self.jobs.append(job)
        return job

    def diagnose(self, name):
        """A failed case's figures, its programs' logs and the guest's kernel messages."""
        print("  host load %.1f, figures: %s" % (os.getloadavg()[0],
                                                  json.dumps(self.figures.get(name.split(".")[0]))))
        for job in self.jobs:
            print("  --- %s:\n%s" % (os.path.basename(job.log), job.output()[-1200:]))
        try:
            print("  --- dmesg:\n" + self.guest.run("dmesg | tail -n 25", timeout=15)[1])
        except (vm.GuestError, OSError) as e:
            print("  --- the guest does not answer: %s" % e)  # with its console's tail
        sys.stdout.flush()

    def forget_guest_jobs(self):
        """The guest is gone with the jobs it ran; those on the host are ended."""
        for job in self.jobs:
            if job.host:
                job.stop()
        self.jobs = []

    def stop_jobs(self):
        """After a case: nothing it started may hold a line for the next."""
        for job in self.jobs:
            job.stop()
        self.jobs = []

    def start_sim(self, where, args, name):
        """The simulator at the far end of a line: host:<line> or guest:<device>."""
        side, _, device = where.partition(":")
        if side == "host":
            device = getattr(self.guest, device).path
        command = "%s --device %s %s" % (SIM, device, args)
        if side == "guest":
            job = self.start_guest(command, name)
        else:
            job = Job(self.path(name))
            self.jobs.append(job)
            job.host = subprocess.Popen(
                ["sh", "-c",
                 "%s >%s 2>&1 </dev/null; echo $? >%s.rc" % (command, job.log, job.log)],
                start_new_session=True)
        wait_for(lambda: "transmitter at" in job.output(), 30, "simulator on " + device)
        return job

    def cli_command(self, args):
        # The guest's root is the host's, read-only: settings and temporaries go to the run's
        # folder.
        home = self.guest.work
        return ("HOME=%s XDG_CONFIG_HOME=%s TMPDIR=%s QT_QPA_PLATFORM=offscreen %s %s" %
                (home, home, home, self.cli, args))

    # ---- the transfers --------------------------------------------------------------------

    def save(self, where, device, tx, cli_args, sim_args, name):
        """A save with the simulator sending once the command line waits; returns the file, the
        command line's job and the simulator's."""
        out = self.path(name + ".bin")
        cli = self.start_guest(self.cli_command("save --type %s --port %s %s --description vm %s"
                                                % (tx, device, cli_args, out)), name + "-cli")
        wait_for(lambda: "Now let your transmitter" in cli.output(), 30, "prompt of the save")
        sim = self.start_sim(where, "--type %s %s --delay 300 --min-ack %d" %
                             (tx.upper().replace("MC", "MC-"), sim_args, ACK_MS - ACK_SLACK_MS),
                             name + "-sim")
        return out, cli, sim

    def expect_saved(self, where, device, tx, cli_args, sim_args, reference, name):
        out, cli, sim = self.save(where, device, tx, cli_args, sim_args, name)
        if (cli.status(), sim.status()) != (0, 0):
            raise Failure("save ended with %d, simulator with %d" % (cli.status(), sim.status()))
        same_bytes(out, reference)
        return sim

    def restore(self, where, device, reference, name):
        received = self.path(name + ".bin")
        sim = self.start_sim(where, "--type MC-22 --receive --output %s --idle-timeout 20000 "
                             "--linger 300" % received, name + "-sim")
        # Lines stamped with the guest's clock: the restore is timed apart from the slow start.
        cli = self.start_guest("(%s 2>&1; echo EXIT $?) | while IFS= read -r l; do echo \"$(date "
                               "+%%s%%N) $l\"; done" % self.cli_command(
                                   "restore --type mc22 --port %s --model 2 --yes %s" %
                                   (device, reference)), name + "-cli")
        if cli.status() != 0 or "EXIT 0" not in cli.output() or sim.status() != 0:
            raise Failure("restore or simulator failed (simulator: %d)" % sim.status())
        with open(reference, "rb") as f:
            model2 = f.read()[MODEL_BYTES:2 * MODEL_BYTES]
        with open(received, "rb") as f:
            if f.read() != model2:
                raise Failure("the transmitter received other bytes than model 2 of the file")
        stamps = re.findall(r"^(\d+) (?:\d+ of %d bytes|EXIT)" % MODEL_BYTES, cli.output(), re.M)
        took = (int(stamps[-1]) - int(stamps[0])) // 1000000  # first progress line to the end
        if took > RESTORE_LIMIT_MS:
            raise Failure("the restore took %d ms" % took)
        return took


def same_bytes(path, reference):
    with open(path, "rb") as f, open(reference, "rb") as g:
        got, want = f.read(), g.read()
    if got != want:
        first = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b),
                     min(len(got), len(want)))
        raise Failure("%s differs from the pseudo-terminal's save: %d bytes for %d, first "
                      "difference at %d" % (os.path.basename(path), len(got), len(want), first))


def ack_times(sim):
    times = [int(t) for t in re.findall(r"acknowledgement of (?:block \d+|the end marker) after "
                                        r"(\d+) ms", sim.output())]
    if not times:
        raise Failure("the simulator timed no acknowledgement")
    for t in times:
        if abs(t - ACK_MS) > ACK_SLACK_MS:
            raise Failure("an acknowledgement came after %d ms (%d ± %d)" %
                          (t, ACK_MS, ACK_SLACK_MS))
    return times


def references(folder):
    """What the same saves give over a pseudo-terminal on the host."""
    refs = {}
    for name, tx, cli_args, sim_args in (("one", "MC-22", "", "--send-one"),
                                         ("all", "MC-22", "--all", "--send-all 3"),
                                         ("memory", "MC-18", "--all", "--send-memory")):
        path = os.path.join(folder, "ref-%s.bin" % name)
        sim = subprocess.Popen([SIM, "--type", tx, "--fast", "--wait", "--quiet"] +
                               sim_args.split(),
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        device = sim.stdout.readline().strip()
        log = path + ".log"
        with open(log, "w") as out:
            cli = subprocess.Popen([CLI, "save", "--type", tx.lower().replace("-", ""), "--port",
                                    device, "--description", "ref", path] + cli_args.split(),
                                   stdout=out, stderr=out,
                                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        try:
            wait_for(lambda: "Now let your transmitter" in read(log), 30, "prompt of a save")
            sim.stdin.write("\n")
            sim.stdin.flush()
            if cli.wait(60) != 0 or sim.wait(60) != 0:
                raise Failure("the reference save of %s on a pseudo-terminal failed:\n%s" %
                              (name, read(log)))
        finally:
            for p in (cli, sim):
                if p.poll() is None:
                    p.kill()
                    p.wait()
        refs[name] = path
    return refs


# ---- the cases ---------------------------------------------------------------------------------


def driver_cases(rig, refs):
    for driver, device, where in DRIVERS:
        fig = rig.figures.setdefault(driver, {})
        yield driver + ".save_one", lambda where=where, device=device, driver=driver: \
            rig.expect_saved(where, device, "mc22", "", "--send-one", refs["one"], driver + "-one")

        def save_all(where=where, device=device, driver=driver, fig=fig):
            sim = rig.expect_saved(where, device, "mc22", "--all", "--send-all 3", refs["all"],
                                   driver + "-all")
            fig["acks_ms"] = ack_times(sim)
        yield driver + ".save_all", save_all

        def restore(where=where, device=device, driver=driver, fig=fig):
            fig["restore_ms"] = rig.restore(where, device, refs["all"], driver + "-restore")
        yield driver + ".restore_model_2", restore

        yield driver + ".mc18_memory", lambda where=where, device=device, driver=driver: \
            rig.expect_saved(where, device, "mc18", "--all", "--send-memory", refs["memory"],
                             driver + "-memory")


def unplug_and_replug(rig, refs):
    """The FTDI adapter pulled in the middle of a save, then plugged in again."""
    out, cli, sim = rig.save("host:ftdi", "/dev/ttyUSB0", "mc22", "--all", "--send-all 3", "pull")
    # Unplugging is only a test while bytes flow: wait for some of block 1.
    wait_for(lambda: re.search(r"Block 1: +[1-9]\d\d of", cli.output()), 30, "bytes of block 1")
    shutil.copyfile(refs["one"], out)  # the earlier backup under the saved file's name
    pulled = time.monotonic()
    rig.guest.qmp("device_del", id="ftdi0")
    wait_for(lambda: "gone away" in cli.output(), 10, "words about the pulled adapter")
    rig.figures.setdefault("ftdi_sio", {})["unplug_words_ms"] = round(
        (time.monotonic() - pulled) * 1000)
    status = cli.status(15)
    sim.stop()
    if status != 1:
        raise Failure("the save ended with %d after the pull" % status)
    same_bytes(out, refs["one"])
    # Plugged in again, the adapter works as before.
    rig.guest.run("while [ -e /dev/ttyUSB0 ]; do sleep 0.1; done", timeout=30)
    # QEMU lets go of the adapter's line a moment after the device left the guest.
    def plugged():
        try:
            rig.guest.qmp("device_add", driver="usb-serial", chardev="ftdi", id="ftdi0",
                          bus="xhci.0")
            return True
        except vm.GuestError:
            return False
    wait_for(plugged, 20, "replug of the adapter")
    rig.guest.run("until stty -F /dev/ttyUSB0 >/dev/null 2>&1; do sleep 0.1; done", timeout=30)
    rig.expect_saved("host:ftdi", "/dev/ttyUSB0", "mc22", "", "--send-one", refs["one"],
                     "replugged")


def usb_requests(rig, refs):
    """USB control requests a second to the FTDI adapter: with the port open and idle, and
    during a save of one model."""
    bus = rig.guest.run("cat /sys/class/tty/ttyUSB0/device/../../busnum")[1].strip()
    address = rig.guest.run("cat /sys/class/tty/ttyUSB0/device/../../devnum")[1].strip()
    trace = rig.path("usbmon")

    def count(seconds):
        rig.guest.run("timeout %d cat /sys/kernel/debug/usb/usbmon/%su >%s" % (seconds, bus, trace),
                      timeout=seconds + 30, check=False)
        requests = 0
        for line in read(trace).splitlines():
            fields = line.split()
            # URB submissions of control transfers (Ci/Co) to the adapter.
            if len(fields) > 3 and fields[2] == "S" and fields[3][:2] in ("Ci", "Co") and \
                    int(fields[3].split(":")[2]) == int(address):
                requests += 1
        return round(requests / seconds, 1)

    out = rig.path("usb.bin")
    cli = rig.start_guest(rig.cli_command("save --type mc22 --port /dev/ttyUSB0 --description vm "
                                          + out), "usb-idle-cli")
    wait_for(lambda: "Now let your transmitter" in cli.output(), 30, "prompt of the save")
    time.sleep(1)
    idle = count(5)
    sim = rig.start_sim("host:ftdi", "--type MC-22 --send-one --delay 300", "usb-sim")
    saving = count(3)
    if cli.status() != 0 or sim.status() != 0:
        raise Failure("the save during the count failed")
    rig.figures.setdefault("ftdi_sio", {}).update(usb_requests_idle=idle,
                                                  usb_requests_saving=saving)


def run_case(rig, name, case, started):
    """Runs one case; True when it passed. QEMU's own USB emulation can crash when a device is
    pulled while bytes flow (a segfault of the emulator, seen on device_del of the FTDI adapter):
    that says nothing about the program, so the case runs once more in a new guest."""
    for attempt in (1, 2):
        t = time.monotonic()
        try:
            if t - started > BUDGET_S:
                raise Failure("not started: the layer is out of time")
            case()
            print("PASS %-28s %5.1f s" % (name, time.monotonic() - t), flush=True)
            rig.stop_jobs()
            return True
        except (Failure, vm.GuestError, OSError) as e:
            if attempt == 1 and rig.guest.ended():
                print("QEMU ended during %s (%s; %s): the case runs again in a new guest" %
                      (name, e, rig.guest.exit_text()), flush=True)
                rig.forget_guest_jobs()
                rig.guest.stop()
                rig.guest.boot()
                continue
            print("FAIL %-28s %s (%.1f s)" % (name, e, time.monotonic() - t), flush=True)
            rig.diagnose(name)
            rig.stop_jobs()
            return False
    return False


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    for option, default in (("--measure", None), ("--cli", CLI), ("--only", "")):
        parser.add_argument(option, default=default)
    args = parser.parse_args()
    measure, cli_path, only = args.measure, args.cli, args.only
    if not (SIM and CLI):
        print("VAULTIX_SIM and VAULTIX_CLI must name the built programs")
        return 2
    work = tempfile.mkdtemp(prefix="vaultix-vm.")
    rig = Rig(work, os.path.abspath(cli_path))
    failed = []
    started = time.monotonic()
    try:
        os.makedirs(rig.guest.work)
        refs = references(rig.guest.work)
        rig.guest.boot()
        cases = list(driver_cases(rig, refs)) + [("ftdi_sio.unplug_replug",
                                                  lambda: unplug_and_replug(rig, refs))]
        if measure:
            cases.append(("ftdi_sio.usb_requests", lambda: usb_requests(rig, refs)))
        for name, case in [c for c in cases if c[0].startswith(only)]:
            if not run_case(rig, name, case, started):
                failed.append(name)
    except (Failure, vm.GuestError, OSError) as e:
        print("FAIL the guest could not be set up: %s" % e, flush=True)
        failed.append("setup")
    finally:
        rig.guest.stop()
    print(json.dumps(rig.figures, indent=1))
    print("%d failed, %.0f s in all" % (len(failed), time.monotonic() - started))
    if measure:
        with open(measure, "w") as f:
            json.dump(rig.figures, f, indent=1)
    if not failed:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("logs kept in " + work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
