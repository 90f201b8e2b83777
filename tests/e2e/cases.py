#!/usr/bin/python3
"""End-to-end cases: the built program as its own process on a private X server, worked through
its controls as a person would, with the transmitter simulator at the far end of a
pseudo-terminal cable. Each case is one CTest test: `cases.py NAME`."""

import os
import select
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_driver as g  # noqa: E402
from gi.repository import Atspi  # noqa: E402
from rig import Rig, case, check, main, model_bytes, read, write  # noqa: E402
from window import (MEMO, TITLE, begin_save, box_text, enabled, frame, fully_visible,  # noqa: E402
                    on_screen, pick_port, progress, start_window_manager, transmitter_receives,
                    transmitter_sends, window_titles)







@case
def save_one_and_all():
    """Save one model, then all models with the block protocol: the files hold exactly what the
    transmitter sent, the description file what was typed, and every block was acknowledged.
    Cancel during a save of the same name keeps the earlier backup and its description."""
    rig = Rig()
    try:
        rig.start()
        one = model_bytes("MC-22", 7, "Ascender", 1)
        write(rig.path("sent.m22"), one)
        said = begin_save(rig, "Save one model to file.", rig.path("club.m22"), "Field day\nline 2")
        check(said == "Now let your transmitter send data..", said)
        sim = rig.sim("--type", "MC-22", "--send-one", "--file", rig.path("sent.m22"))
        said = g.answer_dialog("OK", timeout=30)
        check(said == 'Model 7  "Ascender" successfully transferred.', said)
        code, out = rig.sim_done(sim)
        check(code == 0, "simulator: " + out)
        check(read(rig.path("club.m22")) == one, "saved model differs from what was sent")
        check(read(rig.path("club.m22.dsc")) == b"Field day\r\nline 2", "description file")

        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "replaced?")
        stalled = rig.sim("--type", "MC-22", "--send-one", "--stall-after", "300")
        g.wait_for(lambda: progress() >= 300, 10, what="300 bytes")
        g.click("Cancel")
        stalled.kill()
        said = g.answer_dialog("OK")
        check(said.startswith("Transfer interrupted by user!"), said)
        check(read(rig.path("club.m22")) == one, "Cancel lost the earlier backup")
        check(read(rig.path("club.m22.dsc")) == b"Field day\r\nline 2", "its description changed")

        models = [model_bytes("MC-22", n, "Model %d" % n, n) for n in (1, 2, 3)]
        write(rig.path("sent.a22"), b"".join(models))
        begin_save(rig, "Save all models to file.", rig.path("club.a22"), "all")
        sim = rig.sim("--type", "MC-22", "--send-all", "3", "--file", rig.path("sent.a22"), "--fast")
        said = g.answer_dialog("OK", timeout=30)
        check(said == "Transfer successfully completed.", said)
        code, out = rig.sim_done(sim)
        check(code == 0, "simulator: " + out)
        check(read(rig.path("club.a22")) == b"".join(models), "saved models differ")
    finally:
        rig.close()





def feed(fd, data, timeout=10):
    """Writes data into the cable's far end; only a program that keeps reading takes it all."""
    deadline = time.monotonic() + timeout
    while data and time.monotonic() < deadline:
        if select.select([], [fd], [], 0.1)[1]:
            data = data[os.write(fd, data):]
    check(not data, "the program stopped taking bytes from the line")


@case
def stray_bytes_and_another_port():
    """Bytes on the line between transfers are read and dropped as they come, also while the
    description is typed, and never become part of a backup. Picking another port during a save
    asks first; yes ends the save as Cancel does."""
    rig = Rig({"Ports": {"COM2": "/nonexistent/ttyVaultixNone"}})
    try:
        rig.start()
        junk = bytes((n * 37 + 11) % 256 for n in range(300000))
        feed(rig.cable.hold, junk)
        one = model_bytes("MC-22", 3, "Clean", 4)
        write(rig.path("sent.m22"), one)
        g.click("Save one model to file.")
        g.fill_file_dialog(rig.path("club.m22"))
        feed(rig.cable.hold, junk[:3000])
        time.sleep(0.5)
        g.click("OK")
        g.answer_dialog("OK")
        rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("sent.m22"))
        g.answer_dialog("OK", timeout=30)
        check(read(rig.path("club.m22")) == one, "stray bytes became part of the backup")

        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "replaced?")
        stalled = rig.sim("--type", "MC-22", "--send-one", "--stall-after", "300")
        g.wait_for(lambda: progress() >= 300, 10, what="300 bytes")
        pick_port("COM2")
        check(g.answer_dialog("No").startswith("A transfer is running on COM1."), "no question")
        check(g._name(g.find("combo box", "Serial Port")) == "COM1", "the list left COM1")
        pick_port("COM2")
        g.answer_dialog("Yes")
        check(g.answer_dialog("OK").startswith("Transfer interrupted by user!"), "no Cancel")
        check(g.answer_dialog("OK").startswith("COM port could not be opened."), "COM2 opened")
        stalled.kill()
        check(read(rig.path("club.m22")) == one, "another port cost the earlier backup")
    finally:
        rig.close()


@case
def close_in_every_state():
    """Close ends the program within a second during a transfer (mouse), idle (accessibility
    action) and with the port closed (keyboard): the settings are written, a trace switched on is
    written as the port closes, and the backup being replaced stays as it was. A stored position
    off every screen still shows the window; the title bar reads exactly the window's title."""
    rig = Rig({"Set": {"PosX": 5000, "PosY": 4000, "Tracing": 1, "Port": 0}})
    try:
        old = model_bytes("MC-22", 1, "Old", 9)
        write(rig.path("club.m22"), old)
        rig.start()
        check(window_titles() == [TITLE], window_titles())
        check(on_screen(g.windows()[0]), "window off screen")
        begin_save(rig, "Save one model to file.", rig.path("first.m22"), "traced")
        rig.sim("--type", "MC-22", "--send-one", "--fast")
        g.answer_dialog("OK", timeout=30)
        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "new")
        rig.sim("--type", "MC-22", "--send-one", "--stall-after", "300")
        g.wait_for(lambda: progress() >= 300, 10, what="300 bytes")
        g.click("Close", mouse=True, settle=0)
        check(rig.exited(1.0) == 0, "Close during a transfer did not end the program")
        stored = rig.settings()["Set"]
        check(stored["Port"] == "0" and stored["Transmitter"] == "2", stored)
        check(0 <= int(stored["PosX"]) < 1280 and 0 <= int(stored["PosY"]) < 1024, stored)
        check(os.path.getsize(rig.path("Vaultix.log")) > 0, "no trace written at Close")
        check(read(rig.path("club.m22")) == old, "the previous backup changed")

        rig.start()
        g.click("Close", settle=0)
        check(rig.exited(1.0) == 0, "Close when idle did not end the program")

        rig.write_settings({"Set": {"PosX": -3000, "PosY": -50},
                            "Ports": {"COM1": rig.path("no-such-device")}})
        rig.start()
        said = g.answer_dialog("OK")
        check(said.startswith("COM port could not be opened."), said)
        check(on_screen(g.windows()[0]), "window off screen")
        check(not g.find("push button", "Save one model to file.").get_state_set().contains(
            Atspi.StateType.SENSITIVE), "actions enabled with the port closed")
        g.click_at("Settings:", "label")  # the window takes the keyboard (no window manager)
        g.click("Close", action="SetFocus", settle=0.1)
        g.key("space")
        check(rig.exited(1.0) == 0, "Close (keyboard) did not end the program")
        check("Set" in rig.settings(), "settings not written")
    finally:
        rig.close()




@case
def restore_one_and_chooser():
    """Restore one model, then single models of an all-models file through the chooser: the
    transmitter receives exactly the chosen unit, and every chooser entry shows its number and
    whole name. Each restore offers a verify: what the transmitter sends back is compared with
    the backup, identical once, with one byte changed once."""
    rig = Rig()
    try:
        names = [(7, "Ascender"), (12, "Big Wing \u00c4rger"), (123, "Cub"), (0, "Delta"),
                 (255, "Extra 300 WWWWWW"), (99, "F")]
        models = [model_bytes("MC-22", n, name, n) for n, name in names]
        write(rig.path("one.m22"), models[0])
        write(rig.path("club.a22"), b"".join(models))
        for i, m in enumerate(models):
            write(rig.path("unit%d" % i), m)
        rig.start()

        g.click("Restore one model from file.")
        g.fill_file_dialog(rig.path("one.m22"))
        check(g.text_of(g.find("text", None, description=MEMO)) ==
              "No file description available.", "memo")
        g.click("OK")
        offer = transmitter_receives(rig, rig.path("unit0"),
                                     "Now start reception of data at your transmitter.",
                                     'Model "Ascender" successfully transferred.', verify=True)
        check(offer.startswith('Verify model 7 "Ascender" in the transmitter?'), offer)
        rig.shot("verify-offer")
        g.answer_dialog("Yes")
        rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("unit0"))
        said = box_text("OK")
        rig.shot("verify-identical")
        check(said == 'Model 7 "Ascender" verified:\nthe transmitter holds exactly the 1024 '
              'bytes of the backup.', said)
        g.answer_dialog("OK")

        g.click("Restore all models from file.")
        g.fill_file_dialog(rig.path("club.a22"))
        g.click("OK")
        chooser = g.find("list", None, showing=True)
        entries = g.wait_for(lambda: g._children(chooser), 5, what="chooser entries")
        want = [("%d " % n).rjust(3) + name for n, name in names]
        shown = [g._name(e).rstrip() for e in entries]
        check(shown == want, shown)
        rig.shot("chooser")
        check(all(fully_visible(e) for e in entries), "a chooser entry is cut off")
        g.click(entries[1], settle=0.1)
        g.click("Go")
        transmitter_receives(rig, rig.path("unit1"),
                             "Now prepare your transmitter to receive one model's data.",
                             "Transfer successfully completed.", verify=True)
        g.answer_dialog("Yes")
        changed = bytearray(models[1])
        changed[100] ^= 0xFF
        write(rig.path("changed"), bytes(changed))
        rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("changed"))
        said = box_text("OK")
        rig.shot("verify-different")
        check(said == 'Model 12 "Big Wing \u00c4rger" differs from the backup:\n1 of 1024 bytes '
              'differ, the first at offset 100 (0x64).\nRestore it again, then verify once more.',
              said)
        g.answer_dialog("OK")
        check(g.find("push button", "Go").get_state_set().contains(Atspi.StateType.SHOWING),
              "the chooser did not come back")
        g.click("Done")
    finally:
        rig.close()




@case
def cable_pulled():
    """The cable is pulled in the middle of a save: within a second the port closes, writing the
    running trace, and the user is told which port and device went away and what to do; the
    actions become unavailable, Cancel ends the transfer with the earlier backup intact, and
    picking the same port again opens it once the cable is back."""
    rig = Rig({"Set": {"Tracing": 1}})
    try:
        old = model_bytes("MC-22", 1, "Old", 9)
        write(rig.path("club.m22"), old)
        write(rig.path("club.m22.dsc"), b"old description")
        rig.start()
        begin_save(rig, "Save one model to file.", rig.path("first.m22"), "traced")
        rig.sim("--type", "MC-22", "--send-one", "--fast")
        g.answer_dialog("OK", timeout=30)

        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "new")
        rig.sim("--type", "MC-22", "--send-one")
        g.wait_for(lambda: progress() >= 100, 10, what="100 bytes")
        pulled = time.monotonic()
        rig.cable.pull()
        said = g.answer_dialog("OK", timeout=5)
        check(time.monotonic() - pulled < 1.5, "the hang-up was noticed late")
        check(said.startswith("COM1 (%s) has gone away" % rig.cable.near), said)
        check("choose COM1 in the Serial Port list" in said, said)
        check(os.path.getsize(rig.path("Vaultix.log")) > 0, "no trace written at the hang-up")
        rig.shot("cable-pulled")
        check(not enabled("Save one model to file."), "actions stay enabled")
        g.click("Cancel")
        said = g.answer_dialog("OK")
        check(said.startswith("Transfer interrupted by user!"), said)
        check(read(rig.path("club.m22")) == old, "the earlier backup changed")
        check(read(rig.path("club.m22.dsc")) == b"old description", "its description changed")

        pick_port("COM1")
        said = g.answer_dialog("OK")
        check(said.startswith("COM port could not be opened."), said)
        rig.cable.plug()
        pick_port("COM1")
        g.wait_for(lambda: enabled("Save one model to file."), 5, what="the port to open")
        one = model_bytes("MC-22", 3, "Again", 3)
        write(rig.path("sent.m22"), one)
        begin_save(rig, "Save one model to file.", rig.path("club.m22"), "again")
        rig.sim("--type", "MC-22", "--send-one", "--fast", "--file", rig.path("sent.m22"))
        said = g.answer_dialog("OK", timeout=30)
        check(said.endswith("successfully transferred."), said)
        check(read(rig.path("club.m22")) == one, "the save after the cable came back differs")
    finally:
        rig.close()


@case
def ended_from_outside():
    """SIGTERM during a save, SIGHUP and SIGINT when idle, and the X server going away during a
    save each end the program within a second the way Close does: the settings are written,
    the save's new files are removed and the earlier backup stays as it was."""
    rig = Rig()
    try:
        old = model_bytes("MC-22", 1, "Old", 9)
        write(rig.path("club.m22"), old)

        def ended(how, in_transfer):
            rig.write_settings({"Ports": {"COM1": rig.cable.near}})
            rig.start()
            if in_transfer:
                begin_save(rig, "Save one model to file.", rig.path("club.m22"), "new")
                rig.sim("--type", "MC-22", "--send-one", "--stall-after", "300")
                g.wait_for(lambda: progress() >= 300, 10, what="300 bytes")
            sent = time.monotonic()
            how()
            code = rig.exited(1.0)
            check(code is not None, "still running a second after " + how.__name__)
            check(time.monotonic() - sent < 1.0, how.__name__ + " was slow")
            check("PosX" in rig.settings().get("Set", {}), "settings not written: " +
                  how.__name__)
            check(read(rig.path("club.m22")) == old, "the earlier backup changed")
            check(sorted(os.listdir(rig.work)) == ["club.m22"], os.listdir(rig.work))
            g.stop_app()
            return code

        def sigterm():
            g._S.app.send_signal(signal.SIGTERM)

        def sighup():
            g._S.app.send_signal(signal.SIGHUP)

        def sigint():
            g._S.app.send_signal(signal.SIGINT)

        def x_server_lost():
            g._S.xvfb.kill()

        check(ended(sigterm, True) == 0, "SIGTERM")
        check(ended(sighup, False) == 0, "SIGHUP")
        check(ended(sigint, False) == 0, "SIGINT")
        ended(x_server_lost, True)
    finally:
        rig.close()


@case
def hostile_files_and_settings():
    """A settings file saved with a byte-order mark and holding integers out of range still
    opens its first section's port with the default type. Control characters in model names and
    descriptions show escaped, never raw; a save that leaves the shown description as it was
    leaves its file byte for byte; text Windows-1252 cannot hold is kept, and the person is told
    it is stored as UTF-8."""
    rig = Rig()
    try:
        with open(rig.ini, "wb") as f:
            f.write(b"\xef\xbb\xbf[Ports]\r\nCOM1=" + rig.cable.near.encode() +
                    b"\r\n[Set]\r\nTransmitter=3000000000\r\nPort=--5\r\n")
        names = [(1, "Bell\x07Ring"), (2, "Esc\x1b[2Jcls"), (3, "Nul\x00cut")]
        write(rig.path("club.a22"), b"".join(model_bytes("MC-22", n, name, n) for n, name in names))
        kept = b"\xef\xbb\xbfcolour \x1b[31mred\nLF only \xc3\xbc\n\n"
        write(rig.path("glider.m22.dsc"), kept)
        rig.start()
        check(enabled("Save one model to file."), "COM1 of the first section did not open")
        check(g.text_of(g.find("combo box", "Transmitter")) == "MC-22", "type not the default")

        g.click("Restore all models from file.")
        g.fill_file_dialog(rig.path("club.a22"))
        g.click("OK")
        chooser = g.find("list", None, showing=True)
        entries = g.wait_for(lambda: g._children(chooser), 5, what="chooser entries")
        shown = [g._name(e).rstrip() for e in entries]
        check(shown == [" 1 Bell\\x07Ring", " 2 Esc\\x1b[2Jcls", " 3 Nul\\x00cut"], shown)
        rig.shot("escaped-names")
        g.click("Done")

        g.click("Save one model to file.")
        g.fill_file_dialog(rig.path("glider.m22"))
        memo = g.text_of(g.find("text", None, description=MEMO))
        check(memo == "\\ufeffcolour \\x1b[31mred\nLF only \u00fc\n\n", repr(memo))
        g.click("OK")
        g.answer_dialog("OK")
        transmitter_sends(rig, model_bytes("MC-22", 4, "Tab\tName", 4),
                          'Model 4  "Tab\\x09Name" successfully transferred.')
        check(read(rig.path("glider.m22.dsc")) == kept, "the unchanged description was rewritten")

        typed = "\u041c\u043e\u0434\u0435\u043b\u044c \u2708"
        said = begin_save(rig, "Save one model to file.", rig.path("ru.m22"), typed)
        check("stored as UTF-8" in said, said)
        rig.sim("--type", "MC-22", "--send-one", "--fast")
        g.answer_dialog("OK", timeout=30)
        check(read(rig.path("ru.m22.dsc")) == typed.encode(), "the description is not as typed")
    finally:
        rig.close()


@case
def position_under_window_manager():
    """Under a window manager a stored position that would put the frame partly off the screen
    brings the whole frame, title bar included, onto the screen; that position is written back
    and kept at the next start."""
    rig = Rig({"Set": {"PosX": 5000, "PosY": 5000}})
    wm = start_window_manager()
    try:
        rig.start()
        framed = lambda: frame()[3] > g.windows()[0].get_extents(Atspi.CoordType.SCREEN).height
        g.wait_for(framed, 5, what="the window manager's frame")
        x, y, width, height = g.wait_for(
            lambda: (lambda f: f if f[0] + f[2] <= 1280 and f[1] + f[3] <= 1024 else None)(frame()),
            3, what="the whole frame on the screen")
        check(x >= 0 and y >= 0, (x, y, width, height))
        rig.shot("framed")
        g.click("Close", settle=0)
        check(rig.exited(1.0) == 0, "Close did not end the program")
        stored = rig.settings()["Set"]
        check((int(stored["PosX"]), int(stored["PosY"])) == (x, y), (stored, x, y))

        rig.start()
        g.wait_for(framed, 5, what="the window manager's frame")
        time.sleep(0.3)
        check(frame()[:2] == (x, y), "moved again at the next start: %s" % (frame(),))
    finally:
        rig.close()
        wm.kill()
        wm.wait()


@case
def help_without_desktop_handler():
    """Help shows the guide in the program's own window on a desktop whose opener knows no
    program for web pages, without holding up the window while the desktop is asked, and says
    plainly when the guide is missing."""
    rig = Rig()
    try:
        tools = os.path.join(rig.dir, "bin")
        os.makedirs(tools)
        for name, body in (("xdg-open", "touch '%s'; exit 3" % rig.path("opener-called")),
                           ("xdg-mime", "sleep 1; exit 0")):
            with open(os.path.join(tools, name), "w") as f:
                f.write("#!/bin/sh\n%s\n" % body)
            os.chmod(os.path.join(tools, name), 0o755)
        rig.start(env={"PATH": tools + ":/usr/bin:/bin"})
        # The desktop takes a second to say it has no program for web pages; meanwhile the
        # window answers at once.
        asked = time.monotonic()
        g.click("Help", settle=0.2)
        on_screen(g.windows()[0])  # asks the program itself, not a cache
        check(time.monotonic() - asked < 0.7, "Help held up the window")
        guide = g.find(g.WINDOW_ROLES, "Vaultix user guide", timeout=5)
        text = g.text_of(g.find(("label", "text"), None, within=guide))
        check("Serial ports on Linux" in text, text[:200])
        check(not os.path.exists(rig.path("opener-called")), "the failing opener was used")
        rig.shot("guide-window")
        g.click("Close", within=guide)
        g.wait_for(lambda: len(g.windows()) == 1, 5, what="the guide window to close")
        g.stop_app()

        os.remove(os.path.join(rig.prog, "user-guide.html"))
        rig.start()
        g.click("Help")
        said = g.answer_dialog("OK")
        check(said.startswith("The user guide is missing: %s" %
                              os.path.join(rig.prog, "user-guide.html")), said)
    finally:
        rig.close()


@case
def port_chosen_in_dialog():
    """A stored port outside the list brings up "Select Port"; the port chosen there shows in
    the Serial Port list, is written back at Close, and the next start opens it without
    asking."""
    rig = Rig({"Set": {"Port": 7}})
    try:
        rig.start()
        dialog = g.find(g.WINDOW_ROLES, "Select Port", timeout=5)
        combo = g.find("combo box", None, within=dialog)
        if g._name(combo) != "COM1":
            g.select_combo(combo, "COM1")
        g.click("OK", within=dialog)
        g.wait_for(lambda: any(g._name(w) == TITLE for w in g.windows()) and
                   all(g._name(w) != "Select Port" for w in g.windows()), 5,
                   what="the main window alone")
        g._S.main_window = None
        check(g._name(g.find("combo box", "Serial Port")) == "COM1", "the chosen port is not shown")
        check(enabled("Save one model to file."), "the port did not open")
        g.click("Close", settle=0)
        check(rig.exited(1.0) == 0, "Close did not end the program")
        check(rig.settings()["Set"]["Port"] == "0", rig.settings())

        rig.start()
        time.sleep(0.5)
        check([g._name(w) for w in g.windows()] == [TITLE], "asked again at the next start")
        check(enabled("Save one model to file."), "the port did not open at the next start")
    finally:
        rig.close()


if __name__ == "__main__":
    main()
