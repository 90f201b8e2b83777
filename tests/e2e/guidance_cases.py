#!/usr/bin/python3
"""End-to-end cases of the guidance the window gives when nothing happens: the hint of a silent
transfer, the device behind a port, and who holds a port. Each case is one CTest test:
`guidance_cases.py NAME`."""

import fcntl
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_driver as g  # noqa: E402
from rig import Cable, Rig, case, check, main, model_bytes, read, write  # noqa: E402
from window import begin_save, enabled, pick_port  # noqa: E402


def hint():
    return g.text_of(description="hint")


@case
def silent_transmitter_hint():
    """A transmitter that does not start: within 12 s the hint says what to start and which
    port and device to check, and counts the seconds; the transfer still completes when the
    transmitter starts late, and the hint goes."""
    rig = Rig()
    try:
        rig.start()
        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "late")
        confirmed = time.monotonic()
        first = re.compile(r"^Nothing received for (\d+) s\. Start the sending at your "
                           r"transmitter, and check that the cable is plugged into COM1 \(%s\)\.$"
                           % re.escape(rig.cable.near))
        said = g.wait_for(lambda: first.match(hint()), 13, what="the first hint")
        check(time.monotonic() - confirmed < 12.5, "the hint came late")
        rig.shot("hint-nothing-received")
        g.wait_for(lambda: (first.match(hint()) or said).group(1) != said.group(1), 3,
                   what="the seconds to count up")
        model = model_bytes("MC-22", 4, "Late", 4)
        write(rig.path("sent.m22"), model)
        rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("sent.m22"))
        said = g.answer_dialog("OK", timeout=30)
        check(said == 'Model 4  "Late" successfully transferred.', said)
        check(read(rig.path("club.m22")) == model, "the late save differs")
        check(hint() == "", "the hint stays after the transfer")
    finally:
        rig.close()


@case
def stalled_transmitter_hint():
    """A transmitter that stops in the middle of a model: after 5 s the hint says how many bytes
    came and what to check; the transfer goes on until Cancel."""
    rig = Rig()
    try:
        rig.start()
        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "stalled")
        sim = rig.sim("--type", "MC-22", "--send-one", "--stall-after", "300")
        g.wait_for(lambda: hint().startswith("Nothing received for 5 s after 300 bytes."), 12,
                   what="the hint of a stalled transfer")
        check(hint() == "Nothing received for 5 s after 300 bytes. Check the cable and the "
              "transmitter.", hint())
        rig.shot("hint-stalled")
        check(sim.poll() is None, "the simulator gave up")
        g.click("Cancel")
        check(g.answer_dialog("OK").startswith("Transfer interrupted by user!"), "no Cancel")
        check(hint() == "", "the hint stays after Cancel")
    finally:
        rig.close()


@case
def port_facts():
    """The label beside the Serial Port list names the pseudo-terminal behind COM1, and is read
    afresh when the list opens, so a device plugged in later shows; a port held by another
    program names that program and its process; a missing device says so."""
    rig = Rig()
    late = Cable(rig.dir, "Late")
    rig.write_settings({"Ports": {"COM1": rig.cable.near, "COM2": late.near}})
    holder = os.open(rig.cable.near, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        rig.start()
        box = g.wait_for(lambda: [w for w in g.windows() if g._role(w) == "alert"], 5,
                         what="the port-open message")
        rig.shot("port-in-use", box[0])
        said = g.answer_dialog("OK")
        check(said.startswith("COM port could not be opened."), said)
        # socat, the cable itself, keeps its end open too.
        check(re.search(r"%s is in use by .*python3 \(process %d\)" %
                        (re.escape(rig.cable.near), os.getpid()), said), said)
        os.close(holder)
        holder = None

        pick_port("COM1")
        g.wait_for(lambda: enabled("Save one model to file."), 5, what="COM1 to open")
        device = g.text_of(description="port device")
        check(device == "%s (%s)" % (rig.cable.near, os.path.realpath(rig.cable.near)), device)
        rig.shot("port-device")

        pick_port("COM2")
        said = g.answer_dialog("OK")
        check(("COM2 (%s) is not present: plug the adapter in." % late.near) in said, said)
        # The port line keeps the reason and says what to do about it.
        check(g.text_of(description="port device") ==
              "COM2 (%s) is not present: plug the adapter in. Or pick another port." % late.near,
              g.text_of(description="port device"))
        late.plug()
        combo = g.find("combo box", "Serial Port")
        g._fire(combo, "ShowMenu")
        g.wait_for(lambda: g.text_of(description="port device").startswith(late.near + " ("),
                   5, what="the device plugged in later")
        g.key("Escape")
    finally:
        if holder is not None:
            os.close(holder)
        late.pull()
        rig.close()


if __name__ == "__main__":
    main()
