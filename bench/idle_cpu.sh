#!/usr/bin/env bash
# Idle CPU and resident memory of the running program: starts it on the demonstration's
# simulated transmitter (port open on a pseudo-terminal, no transfer), waits for start-up, then
# reads its CPU time over a window.
# Usage: bench/idle_cpu.sh [path to vaultix] [seconds]
set -euo pipefail
program="${1:-build/release/app/vaultix}"
seconds="${2:-10}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
tick=$(getconf CLK_TCK)

cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }

"$program" --demo MC-22 >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
sleep 3
t0=$(cpu_of $pid)
sleep "$seconds"
t1=$(cpu_of $pid)
rss=$(awk '/VmRSS/ {print $2, $3}' "/proc/$pid/status")

awk -v d=$((t1 - t0)) -v s="$seconds" -v t="$tick" -v r="$rss" 'BEGIN {
    printf "idle CPU: %.2f %% of one core over %d s\n", 100 * d / (s * t), s
    printf "resident memory: %s\n", r
}'
