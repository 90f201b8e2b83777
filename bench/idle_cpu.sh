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

# CPU milliseconds of all threads: the scheduler's exact run time where the kernel shows it,
# otherwise the clock-tick counts, which sample short wake-ups only roughly.
cpu_ms() {
    if [ -r "/proc/$1/sched" ]; then
        cat /proc/"$1"/task/*/sched 2>/dev/null |
            awk '/se.sum_exec_runtime/ {sum += $3} END {printf "%.3f", sum}'
    else
        awk -v t="$tick" '{printf "%.3f", ($14 + $15) * 1000 / t}' "/proc/$1/stat"
    fi
}

"$program" --demo MC-22 >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
sleep 3
t0=$(cpu_ms $pid)
sleep "$seconds"
t1=$(cpu_ms $pid)
rss=$(awk '/VmRSS/ {print $2, $3}' "/proc/$pid/status")

awk -v a="$t0" -v b="$t1" -v s="$seconds" -v r="$rss" 'BEGIN {
    printf "idle CPU: %.2f %% of one core over %d s\n", (b - a) / (10 * s), s
    printf "resident memory: %s\n", r
}'
