"""The rig of the end-to-end tests: the built program copied into a folder of its own (a portable
run, with its settings file and user guide beside it), a null-modem cable made of two linked
pseudo-terminals (socat) whose near end is COM1 through the settings file's [Ports] section, and
the transmitter simulator, started as its own process at the cable's far end.

Paths of the programs come from the environment: VAULTIX_APP, VAULTIX_SIM.
"""

import configparser
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gui_driver as g

APP = os.environ.get("VAULTIX_APP", "")
SIM = os.environ.get("VAULTIX_SIM", "")

# Model sizes and where a model's name and number sit, per transmitter type.
MODEL = {"MC-18": (258, 166, 11, None), "MC-20": (258, 166, 11, None),
         "MC-22": (1024, 1004, 16, 1022), "MC-24": (3072, 3050, 15, 3066),
         "MX-22": (1024, 1004, 16, 1022)}


def model_bytes(tx, number, name, seed):
    """One model memory of type tx with the given number and name, other bytes random."""
    size, name_at, name_len, number_at = MODEL[tx]
    rnd = random.Random(seed)
    data = bytearray(rnd.randrange(256) for _ in range(size))
    raw = name.encode("cp437")[:name_len].ljust(name_len, b" ")
    data[name_at:name_at + name_len] = raw
    if number_at is not None:
        data[number_at] = number
    return bytes(data)


class Cable:
    """Two linked pseudo-terminals: `near` for the program, `far` for the simulator. Pulling it
    ends socat, which hangs up both ends; plugging it in again brings the same paths back."""

    def __init__(self, folder, name=""):
        self.near = os.path.join(folder, "ttyNear" + name)
        self.far = os.path.join(folder, "ttyFar" + name)
        self.proc = None
        self.hold = None

    def plug(self):
        self.proc = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.near, "pty,raw,echo=0,link=" + self.far],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        g.wait_for(lambda: os.path.exists(self.near) and os.path.exists(self.far), 10,
                   what="socat's pseudo-terminals")
        # The far end stays open between two simulator runs: a pseudo-terminal whose last
        # holder closes it hangs up, and socat would end the cable.
        self.hold = os.open(self.far, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def pull(self):
        if self.hold is not None:
            os.close(self.hold)
            self.hold = None
        if self.proc is not None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait(5)
            self.proc = None
        for link in (self.near, self.far):
            if os.path.lexists(link):
                os.unlink(link)


class Rig:
    def __init__(self, settings=None, guide=True):
        if not APP or not SIM:
            raise SystemExit("VAULTIX_APP and VAULTIX_SIM must name the built programs")
        self.dir = tempfile.mkdtemp(prefix="vaultix-e2e.")
        self.prog = os.path.join(self.dir, "program")
        self.work = os.path.join(self.dir, "work")
        os.makedirs(self.prog)
        os.makedirs(self.work)
        shutil.copy2(APP, self.prog)
        guide_file = os.path.join(os.path.dirname(APP), "user-guide.html")
        if guide:
            shutil.copy2(guide_file, self.prog)
            shutil.copytree(os.path.join(os.path.dirname(APP), "screenshots"),
                            os.path.join(self.prog, "screenshots"))
        self.app = os.path.join(self.prog, os.path.basename(APP))
        self.ini = os.path.join(self.prog, "Vaultix.ini")
        self.cable = Cable(self.dir)
        self.cable.plug()
        base = {"Ports": {"COM1": self.cable.near}}
        for section, keys in (settings or {}).items():
            base.setdefault(section, {}).update(keys)
        self.write_settings(base)
        self.sims = []

    def write_settings(self, sections):
        with open(self.ini, "w") as f:
            for section, keys in sections.items():
                f.write("[%s]\r\n" % section)
                for k, v in keys.items():
                    f.write("%s=%s\r\n" % (k, v))

    def settings(self):
        parser = configparser.ConfigParser()
        parser.optionxform = str
        parser.read(self.ini)
        return {s: dict(parser[s]) for s in parser.sections()}

    def path(self, name):
        return os.path.join(self.work, name)

    def start(self, *args, env=None):
        g.start_app([self.app, *args], cwd=self.work, env=env)
        return self

    def sim(self, *args):
        """The simulator at the cable's far end; returns the process."""
        p = subprocess.Popen([SIM, "--device", self.cable.far, "--quiet", *args],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.sims.append(p)
        return p

    @staticmethod
    def sim_done(p, timeout=30):
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out

    def exited(self, timeout):
        """The program's exit code once it ended within timeout seconds, else None."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if g._S.app is not None and g._S.app.poll() is not None:
                return g._S.app.returncode
            time.sleep(0.02)
        return None

    def shot(self, name, window="app"):
        """A picture of the program's windows (or of one), when VAULTIX_E2E_SHOTS names a folder
        for it."""
        folder = os.environ.get("VAULTIX_E2E_SHOTS")
        if folder:
            os.makedirs(folder, exist_ok=True)
            g.screenshot(os.path.join(folder, name + ".png"), window=window)

    def close(self):
        for p in self.sims:
            if p.poll() is None:
                p.kill()
                p.wait()
        g.stop()
        self.cable.pull()
        if not os.environ.get("VAULTIX_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


# ---- cases ------------------------------------------------------------------------------------
CASES = {}


def case(function):
    """A case of its own: one CTest test each (the build finds them by this decorator)."""
    CASES[function.__name__] = function
    return function


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    """Runs the case named on the command line: `python3 FILE NAME`."""
    if len(sys.argv) != 2 or sys.argv[1] not in CASES:
        sys.exit("usage: %s {%s}" % (os.path.basename(sys.argv[0]), ",".join(CASES)))
    started = time.monotonic()
    CASES[sys.argv[1]]()
    print("%s passed in %.1f s" % (sys.argv[1], time.monotonic() - started))
