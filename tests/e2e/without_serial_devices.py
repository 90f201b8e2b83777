"""Runs a program in a view of the machine with no serial devices: /dev holds only the null,
random and terminal nodes and the pseudo-terminals, so a program started without settings can
never open a real UART or USB adapter of the machine the tests run on.

Usage: without_serial_devices.py PROGRAM [ARGUMENT...]   (the program keeps this process's id)
It needs user namespaces (any user) and fails with a message where the kernel refuses them.
"""

import ctypes
import os
import sys
import tempfile

CLONE_NEWNS = 0x00020000
CLONE_NEWUSER = 0x10000000
MS_BIND, MS_REC, MS_PRIVATE, MS_MOVE = 0x1000, 0x4000, 0x40000, 0x2000

libc = ctypes.CDLL(None, use_errno=True)


def call(what, result):
    if result != 0:
        err = ctypes.get_errno()
        sys.exit("without_serial_devices: %s: %s" % (what, os.strerror(err)))


def mount(source, target, fstype, flags):
    call("mount " + target, libc.mount(source.encode() if source else None, target.encode(),
                                       fstype.encode() if fstype else None, flags, None))


def enter_namespace():
    uid, gid = os.getuid(), os.getgid()
    call("unshare", libc.unshare(CLONE_NEWUSER | CLONE_NEWNS))
    # The same user and group inside: files, X and the session bus see no change.
    with open("/proc/self/setgroups", "w") as f:
        f.write("deny")
    with open("/proc/self/uid_map", "w") as f:
        f.write("%d %d 1" % (uid, uid))
    with open("/proc/self/gid_map", "w") as f:
        f.write("%d %d 1" % (gid, gid))
    mount(None, "/", None, MS_REC | MS_PRIVATE)


def replace_dev():
    stage = tempfile.mkdtemp(prefix="dev.")
    mount("none", stage, "tmpfs", 0)
    for node in ("null", "zero", "full", "random", "urandom", "tty"):
        if os.path.exists("/dev/" + node):
            open(os.path.join(stage, node), "w").close()
            mount("/dev/" + node, os.path.join(stage, node), None, MS_BIND)
    for folder in ("shm", "pts"):
        if os.path.isdir("/dev/" + folder):
            os.mkdir(os.path.join(stage, folder))
            mount("/dev/" + folder, os.path.join(stage, folder), None, MS_BIND | MS_REC)
    os.symlink("pts/ptmx", os.path.join(stage, "ptmx"))
    os.symlink("/proc/self/fd", os.path.join(stage, "fd"))
    for number, name in enumerate(("stdin", "stdout", "stderr")):
        os.symlink("/proc/self/fd/%d" % number, os.path.join(stage, name))
    mount(stage, "/dev", None, MS_MOVE)
    os.rmdir(stage)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    enter_namespace()
    replace_dev()
    os.execv(sys.argv[1], sys.argv[1:])
