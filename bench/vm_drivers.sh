#!/usr/bin/env bash
# The command line on the kernel's real serial drivers in a QEMU guest (see tests/vm/cases.py):
# per driver the simulator's acknowledgement times and the time of a one-model restore, the
# time from pulling the FTDI adapter to the gone-away words, and the USB control requests a
# second the FTDI adapter sees with the port open and idle and during a save (usbmon in the
# guest). With a second command line (a build of an earlier version), its USB requests are
# counted in the same run as the baseline.
# Usage: bench/vm_drivers.sh [build folder] [baseline vaultix-cli]
#
# A restore is timed from its first progress line to the command's end (the program's own
# start, slow in the guest, apart); the layer's test holds it to 4000 ms on every driver. QEMU
# does not pace its lines, so the bytes themselves take far less than the line time there.
#
# Measured 2026-12-10 (debug build, 2 shared cores, TCG; baseline: the build before the
# modem-line watch and the bounded "all sent"):
#   driver    acknowledgements (ms)   restore of one MC-22 model (line time 2560 ms)
#   ftdi_sio  719 706 702 705         1599 ms (command)
#   8250      723 713 715 716         1497 ms (command)
#   cdc_acm   714 706 706 707         2604-4788 ms (command; dummy_hcd completes a transfer per
#                                     4 ms tick, and a restore sent one byte per transfer)
# With the restore keeping a few bytes queued ahead of the line (three runs of vm.drivers, load
# 2-4 on 2 cores; acknowledgements ftdi_sio 704-717, 8250 709-723, cdc_acm 706-733 ms; restore /
# whole command / first to last byte at the transmitter, ms):
#   ftdi_sio  681-1088 / 1958-2600 / 304-423
#   8250      641-1063 / 1518-3422 / 196-310
#   cdc_acm   770-1441 / 1835-3098 / 343-793 (the build before: 5644 / 7221 / 5662)
# Three more runs at load 1-2: restore ftdi_sio 470-478, 8250 386-435, cdc_acm 410-984 ms;
# acknowledgements 705-724 ms. The build before, cdc_acm alone: 1987, 2229, 4676, 5644 ms.
#   FTDI pulled mid-save to the gone-away words: 70-84 ms
#   FTDI USB control requests/s   idle, port open   during a save
#     this build                  0.0               1.0-1.3
#     baseline                    36.8-38.0         99.3-101.7
set -euo pipefail
build="$(realpath "${1:-build/release}")"
baseline="${2:-}"
here="$(dirname "$0")"
export VAULTIX_CLI="$build/tools/cli/vaultix-cli" VAULTIX_SIM="$build/tools/simulator/vaultix-sim"
export VAULTIX_BUILD_DIR="$build"
figures="$(mktemp)"
trap 'rm -f "$figures" "$figures.base"' EXIT

python3 "$here/../tests/vm/cases.py" --measure "$figures" >/dev/null || true
if [ -n "$baseline" ]; then
    python3 "$here/../tests/vm/cases.py" --measure "$figures.base" --cli "$(realpath "$baseline")" \
        --only ftdi_sio.usb_requests >/dev/null || true
fi
python3 - "$figures" "$figures.base" <<'PY'
import json, os, sys
def figures(path):
    return json.load(open(path)) if os.path.exists(path) and os.path.getsize(path) else {}
now, base = figures(sys.argv[1]), figures(sys.argv[2])
line_ms = 1024 * 12 * 1000 // 4800
print("%-9s %-26s restore of one MC-22 model (line time %d ms)"
      % ("driver", "acknowledgements (ms)", line_ms))
for driver in ("ftdi_sio", "8250", "cdc_acm"):
    f = now.get(driver, {})
    print("%-9s %-26s %s ms" % (driver, " ".join(map(str, f.get("acks_ms", ["-"]))),
                                f.get("restore_ms", "-")))
f = now.get("ftdi_sio", {})
print("FTDI pulled mid-save to the gone-away words: %s ms" % f.get("unplug_words_ms", "-"))
print("FTDI USB control requests/s   idle, port open   during a save")
for label, g in (("this build", f), ("baseline", base.get("ftdi_sio"))):
    if g:
        print("  %-28s %-17s %s" % (label, g.get("usb_requests_idle", "-"),
                                    g.get("usb_requests_saving", "-")))
PY
