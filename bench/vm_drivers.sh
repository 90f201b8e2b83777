#!/usr/bin/env bash
# The command line on the kernel's real serial drivers in a QEMU guest (see tests/vm/cases.py):
# per driver the simulator's acknowledgement times and the time of a one-model restore, the
# time from pulling the FTDI adapter to the gone-away words, and the USB control requests a
# second the FTDI adapter sees with the port open and idle and during a save (usbmon in the
# guest). With a second command line (a build of an earlier version), its USB requests are
# counted in the same run as the baseline.
# Usage: bench/vm_drivers.sh [build folder] [baseline vaultix-cli]
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
now = json.load(open(sys.argv[1]))
base = json.load(open(sys.argv[2])) if os.path.exists(sys.argv[2]) and os.path.getsize(sys.argv[2]) else {}
line_ms = 1024 * 12 * 1000 // 4800
print("%-9s %-26s %s" % ("driver", "acknowledgements (ms)", "restore of one MC-22 model (line time %d ms)" % line_ms))
for driver in ("ftdi_sio", "8250", "cdc_acm"):
    f = now.get(driver, {})
    print("%-9s %-26s %s ms" % (driver, " ".join(map(str, f.get("acks_ms", ["-"]))),
                                f.get("restore_ms", "-")))
f = now.get("ftdi_sio", {})
print("FTDI pulled mid-save to the gone-away words: %s ms" % f.get("unplug_words_ms", "-"))
b = base.get("ftdi_sio", {})
print("FTDI USB control requests/s   idle, port open   during a save")
print("  this build                   %-17s %s" % (f.get("usb_requests_idle", "-"), f.get("usb_requests_saving", "-")))
if b:
    print("  baseline                     %-17s %s" % (b.get("usb_requests_idle", "-"), b.get("usb_requests_saving", "-")))
PY
