#!/usr/bin/python3
"""End-to-end cases of the installed program: `cmake --install` of the build into a fresh prefix,
the program started where it lies, as the menu entry starts it, by a user with a fresh home
folder. Each case is one CTest test: `install_cases.py NAME`.

The build folder comes from the environment: VAULTIX_BUILD_DIR."""

import os
import re
import stat
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_driver as g  # noqa: E402
from rig import Rig, case, check, main, model_bytes, read, write  # noqa: E402
from window import MEMO, begin_save, enabled  # noqa: E402

WITHOUT_SERIAL_DEVICES = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "without_serial_devices.py")

BUILD = os.environ.get("VAULTIX_BUILD_DIR", "")


def snapshot(folder):
    """Every entry below folder with its size and time of change."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            st = os.lstat(path)
            found[os.path.relpath(path, folder)] = (st.st_size, st.st_mtime_ns)
    return found


def desktop_opener(folder, record):
    """A desktop whose opener writes down what it was asked to open."""
    os.makedirs(folder)
    for name, body in (("xdg-open", "echo \"$1\" >> '%s'" % record),
                       ("xdg-mime", "echo browser.desktop")):
        with open(os.path.join(folder, name), "w") as f:
            f.write("#!/bin/sh\n%s\n" % body)
        os.chmod(os.path.join(folder, name), 0o755)


def window_classes(pid):
    """The class names (WM_CLASS, second part) of the X windows of process pid."""
    ids = subprocess.run(["xdotool", "search", "--pid", str(pid)], capture_output=True,
                         text=True, timeout=10).stdout.split()
    found = set()
    for wid in ids:
        said = subprocess.run(["xprop", "-id", wid, "WM_CLASS"], capture_output=True, text=True,
                              timeout=10).stdout
        names = re.findall(r'"([^"]*)"', said)
        if len(names) == 2:
            found.add(names[1])
    return found


def save_sent(rig, path, description, model):
    """A save of one model, from the button to the outcome."""
    write(rig.path("sent.m22"), model)
    begin_save(rig, "Save one model to file.", path, description)
    sim = rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("sent.m22"))
    said = g.answer_dialog("OK", timeout=30)
    check(said.endswith("successfully transferred."), said)
    code, out = rig.sim_done(sim)
    check(code == 0, "simulator: " + out)


@case
def installed_program():
    """The installed program for a user with a fresh home folder, on a machine without serial
    devices: it starts, Help opens the installed guide, and Close ends it and writes the settings
    into the user's config folder, which it makes. The next start reads them from there. The
    dialogs start in the user's documents folder and go on from the folder of the file last
    chosen. Nothing is written into the installation."""
    check(BUILD, "VAULTIX_BUILD_DIR must name the build folder")
    rig = Rig()
    try:
        prefix = os.path.join(rig.dir, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        home = os.path.join(rig.dir, "home")
        documents = os.path.join(home, "Documents")
        backups = os.path.join(home, "backups")
        os.makedirs(documents)
        os.makedirs(backups)
        opened = os.path.join(rig.dir, "opened")
        desktop_opener(os.path.join(rig.dir, "desktop"), opened)
        env = {"HOME": home, "XDG_CONFIG_HOME": "",
               "PATH": os.path.join(rig.dir, "desktop") + ":/usr/bin:/bin"}
        rig.app = os.path.join(prefix, "bin", "vaultix")
        rig.ini = os.path.join(home, ".config", "vaultix", "Vaultix.ini")
        installed = snapshot(prefix)

        # A first start has no settings, so COM1 would be whatever serial device this machine
        # has: the program runs where /dev holds none, and says so.
        g.start_app([sys.executable, WITHOUT_SERIAL_DEVICES, rig.app], cwd=rig.work, env=env)
        said = g.answer_dialog("OK", timeout=10)
        check(said.endswith("No serial device is plugged in for COM1."), said)
        # A dock matches the running window to its menu entry by the entry's StartupWMClass.
        entry = read(os.path.join(prefix, "share", "applications",
                                  "org.example.vaultix.desktop")).decode()
        wm_class = re.search(r"^StartupWMClass=(.*)$", entry, re.M).group(1)
        classes = window_classes(g._S.app.pid)
        check(wm_class in classes, "window classes %s, the entry names %s" % (classes, wm_class))
        g.click("Help")
        guide = os.path.join(prefix, "share", "vaultix", "user-guide.html")
        g.wait_for(lambda: os.path.exists(opened), 5, what="the desktop's opener")
        said = read(opened).decode().strip()
        check(said == "file://" + guide, "Help opened " + said)
        g.click("Close", settle=0)
        check(rig.exited(2.0) == 0, "Close did not end the installed program")
        stored = rig.settings()
        check(sorted(stored.get("Set", {})) == ["Port", "PosX", "PosY", "Tracing", "Transmitter"],
              stored)
        check(stat.S_IMODE(os.stat(os.path.dirname(rig.ini)).st_mode) == 0o700,
              "the settings folder is open to other users")

        stored["Ports"] = {"COM1": rig.cable.near}
        rig.write_settings(stored)
        rig.start(env=env)
        g.wait_for(lambda: enabled("Save one model to file."), 5, what="COM1 from the settings")
        first = model_bytes("MC-22", 1, "Documents", 1)
        save_sent(rig, "club", "in documents", first)
        check(read(os.path.join(documents, "club.m22")) == first,
              "a bare name did not land in the documents folder")
        second = model_bytes("MC-22", 2, "Backups", 2)
        save_sent(rig, os.path.join(backups, "two.m22"), "in backups", second)
        g.click("Restore one model from file.")
        g.fill_file_dialog("two.m22")
        check(g.text_of(g.find("text", None, description=MEMO)) == "in backups",
              "the open dialog did not start in the folder of the last save")
        g.click("Cancel")
        g.click("Close", settle=0)
        check(rig.exited(2.0) == 0, "Close did not end the installed program")
        check(rig.settings()["Ports"] == {"COM1": rig.cable.near}, rig.settings())
        check(snapshot(prefix) == installed, "the program wrote into its installation")
    finally:
        rig.close()


if __name__ == "__main__":
    main()
