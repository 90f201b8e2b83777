"""Steps and looks through the main window that several cases share."""

import re
import subprocess

import gui_driver as g
from gi.repository import Atspi
from rig import check, write

TITLE = "Save your valuable Transmitter settings to your PC"
MEMO = re.compile("^Select model to restore")


def begin_save(rig, button, path, description):
    """From the Buttons page to the instruction before the transmitter sends."""
    g.click(button)
    g.fill_file_dialog(path)
    g.set_text(g.find("text", None, description=MEMO), description)
    g.click("OK")
    return g.answer_dialog("OK")


def window_titles():
    """Titles of the program's visible X windows, as a window manager would show them."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(g._S.app.pid)],
                           env=g._tool_env(), capture_output=True, text=True).stdout.split()
    return [subprocess.run(["xdotool", "getwindowname", w], env=g._tool_env(),
                           capture_output=True, text=True).stdout.strip() for w in found]


def on_screen(window):
    e = window.get_extents(Atspi.CoordType.SCREEN)
    return e.x >= 0 and e.y >= 0 and e.x + e.width <= 1280 and e.y + e.height <= 1024


def progress():
    """The bytes the progress label counts, once it shows a count."""
    label = g.find_all("label", re.compile(r"bytes of \d+ transferred"))
    return int(re.search(r"(\d+) bytes of", g.text_of(label[0])).group(1)) if label else 0


def fully_visible(item):
    """Whether a list entry's whole text fits in its cell and the cell inside the list's visible
    area. The chooser's font has a fixed pitch, whose letters are about half as wide as a line
    is high; a cell cut to a few letters (" 7 A...") is far narrower than that."""
    cell = item.get_extents(Atspi.CoordType.SCREEN)
    view = item.get_parent().get_extents(Atspi.CoordType.SCREEN)
    inside = (cell.x >= view.x and cell.x + cell.width <= view.x + view.width and
              cell.y >= view.y and cell.y + cell.height <= view.y + view.height)
    return inside and cell.width >= len(g._name(item)) * 0.45 * cell.height


def transmitter_receives(rig, unit, instruction, outcome, verify=False):
    """The simulator receives a restore and checks it byte for byte against unit, while the
    instruction and the outcome are answered; the offer to verify that follows is declined, or
    with verify left open and returned once it shows."""
    sim = rig.sim("--type", "MC-22", "--receive", "--file", unit)
    said = g.answer_dialog("OK")
    check(said.startswith(instruction), said)
    said = g.answer_dialog("OK", timeout=30)
    check(said == outcome, said)
    code, out = rig.sim_done(sim)
    check(code == 0, "simulator: " + out)
    return box_text("Yes") if verify else g.answer_dialog("No")


def box_text(button, timeout=30):
    """The text of the message box with that button once it shows; the box stays open."""
    def look():
        for w in g.windows():
            if w.path != g._S.main_window and g.find_all("push button", button, within=w):
                return w
        return None
    return "\n".join(g._window_texts(g.wait_for(look, timeout, what="a box with " + button)))


def transmitter_sends(rig, model, outcome):
    """The simulator sends model for the save whose instruction was answered; the outcome is
    answered and checked."""
    write(rig.path("sent.m22"), model)
    rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("sent.m22"))
    said = g.answer_dialog("OK", timeout=30)
    check(said == outcome, said)


def pick_port(entry):
    """Picks an entry of the Serial Port list with the keyboard, also the one it shows."""
    combo = g.find("combo box", "Serial Port")
    items = [g._name(c) for c in g._children(g._children(combo)[0])]
    g._fire(combo, "ShowMenu")
    g.wait_for(lambda: g._children(combo)[0].get_state_set().contains(Atspi.StateType.SHOWING),
               5, what="the port list")
    g.key("Home", *(["Down"] * items.index(entry)), "Return")


def enabled(caption):
    return g.find("push button", caption).get_state_set().contains(Atspi.StateType.SENSITIVE)


def frame():
    """The program's main window with its window manager's frame, as (x, y, width, height) on
    the screen; the frame's extents come from the window manager's own property."""
    env = g._tool_env()
    win = g.wait_for(lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--pid", str(g._S.app.pid)], env=env,
        capture_output=True, text=True).stdout.split(), 5, what="the program's X window")[0]
    info = subprocess.run(["xwininfo", "-id", win], env=env, capture_output=True, text=True).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    extents = subprocess.run(["xprop", "-id", win, "_NET_FRAME_EXTENTS"], env=env,
                             capture_output=True, text=True).stdout
    left, right, top, bottom = ([int(n) for n in re.findall(r"\d+", extents.split("=")[1])]
                                if "=" in extents else [0, 0, 0, 0])
    return (field("Absolute upper-left X") - left, field("Absolute upper-left Y") - top,
            field("Width") + left + right, field("Height") + top + bottom)


def start_window_manager():
    """A light window manager on the test's display, ready once it has announced itself."""
    env = g._tool_env() | g.start_session()
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    g.wait_for(lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
        text=True).stdout, 10, what="the window manager")
    return wm
