#!/usr/bin/python3
"""End-to-end cases of looking into backups in the window, without a transmitter: a backup
named on the program's command line, a compare with another backup, a model extracted to a
file of its own, and files that are refused. Each case is one CTest test: `backup_cases.py
NAME`."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_driver as g  # noqa: E402
from rig import Rig, case, check, main, model_bytes, read, write  # noqa: E402


def cells(window, role="table cell"):
    """The texts of a table's cells in a window, row by row."""
    return [g._name(c) for c in g.find_all(role, None, within=window)]


def files_in(folder):
    return sorted(os.listdir(folder))


@case
def backup_view_compare_extract():
    """`vaultix FILE` shows the backup's type, description and models, a name's escape byte
    shown escaped; a compare against a backup with one model changed, one gone and one added
    says so model by model; the extracted model is the same bytes with the description beside
    it, and joined with the other backup the models follow each other unchanged."""
    rig = Rig()
    try:
        models = [model_bytes("MC-22", 1, "Ascender", 1),
                  model_bytes("MC-22", 2, "Bad\x1b[31mName", 2),
                  model_bytes("MC-22", 3, "Cub", 3)]
        write(rig.path("club.a22"), b"".join(models))
        write(rig.path("club.a22.dsc"), b"Field day\r\nbell \x07 here")
        changed = bytearray(models[1])
        changed[17] ^= 0xFF
        other = [models[0], bytes(changed), model_bytes("MC-22", 4, "Delta", 4)]
        write(rig.path("other.a22"), b"".join(other))

        rig.start(rig.path("club.a22"))
        view = g.find(None, "Backup club.a22", timeout=15)
        # Three models of 1024 bytes fit MC-22, MX-22 and MC-24 (one model): the person picks,
        # and the window's own type comes first.
        check(g.text_of(g.find("combo box", "Transmitter", within=view)).startswith("MC-22"),
              "the type offered first")
        description = g.text_of(g.find("text", "Description", within=view))
        check(description == "Field day\nbell \\x07 here", description)
        shown = cells(view)
        check(shown == ["1", "1", "Ascender", "1024 bytes", "2", "2", "Bad\\x1b[31mName",
                        "1024 bytes", "3", "3", "Cub", "1024 bytes"], shown)
        rig.shot("backup-view")

        g.click("Compare with another backup.", within=view)
        g.fill_file_dialog(rig.path("other.a22"))
        compared = g.find(None, "Compare club.a22 with other.a22", timeout=10)
        summary = g.text_of(g.find("label", None, description="compare summary", within=compared))
        check(summary == "The backups differ: 1 same, 1 different, 1 only in this one, "
              "1 only in the other.", summary)
        lines = cells(compared)
        check(lines[:8] == ["same", "1", "1", " 1 Ascender",
                            "different", "2", "2", " 2 Bad\\x1b[31mName"], lines)
        check(lines[8:] == ["only in this one", "3", "-", " 3 Cub",
                            "only in the other", "-", "3", " 4 Delta"], lines)
        rig.shot("backup-compare")
        g.click("Close", within=compared)

        g.click(g.find("table cell", "Bad\\x1b[31mName", within=view), mouse=True)
        g.click("Extract the model to a file.", within=view)
        g.fill_file_dialog(rig.path("two.m22"))
        said = g.answer_dialog("OK")
        check(said == "Model 2 (2 Bad\\x1b[31mName) written to %s." % rig.path("two.m22"), said)
        check(read(rig.path("two.m22")) == models[1], "the extracted model differs")
        check(read(rig.path("two.m22.dsc")) == read(rig.path("club.a22.dsc")),
              "the description did not follow the model")

        g.click("Join with other backups.", within=view)
        g.fill_file_dialog(rig.path("other.a22"))
        g.fill_file_dialog(rig.path("joined.a22"))
        said = g.answer_dialog("OK")
        check(said == "6 models of 2 backups written to %s." % rig.path("joined.a22"), said)
        check(read(rig.path("joined.a22")) == b"".join(models + other), "the joined backup")
    finally:
        rig.close()


@case
def backup_refusals():
    """A folder, a named pipe, an empty file and a file whose size fits no type, each named on
    the command line, are refused with words, the pipe without waiting for a writer; nothing is
    written anywhere."""
    rig = Rig()
    try:
        os.mkdir(rig.path("folder.a22"))
        os.mkfifo(rig.path("pipe.a22"))
        write(rig.path("empty.a22"), b"")
        write(rig.path("odd.a22"), b"\0" * 1000)
        before = files_in(rig.work)
        rig.start(*(rig.path(n) for n in ("folder.a22", "pipe.a22", "empty.a22", "odd.a22")))
        said = [g.answer_dialog("OK", timeout=15) for _ in range(4)]
        expected = [
            re.compile(r"folder\.a22 cannot be opened as a backup:\nThis is a folder"),
            re.compile(r"pipe\.a22 cannot be opened as a backup:\nThis is a named pipe"),
            re.compile(r"empty\.a22 is not a backup: the file is empty\."),
            re.compile(r"odd\.a22 is not a backup: its size of 1000 bytes is no whole number"),
        ]
        for pattern, text in zip(expected, said):
            check(pattern.search(text), text)
        check(not g.find_all(None, re.compile("^Backup "), within=None, deep=False),
              "a refused file showed a backup view")
        check(files_in(rig.work) == before, "something was written")
    finally:
        rig.close()


if __name__ == "__main__":
    main()
