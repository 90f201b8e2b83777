#!/usr/bin/env bash
# Start-up time of the program to its first shown window, on a real X server (a virtual one,
# Xvfb): from the launch to the moment the main window is mapped, over several launches, with
# the resident memory once it shows. The demonstration mode opens the port on a simulated
# transmitter, so the figure includes opening the port.
# Usage: bench/startup_time.sh [path to vaultix] [launches]
set -euo pipefail
program="${1:-build/release/app/vaultix}"
launches="${2:-7}"
title="Save your valuable Transmitter settings to your PC"

if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get install -y xvfb x11-utils >/dev/null
fi

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY="$display"
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

now_ms() { echo $(($(date +%s%N) / 1000000)); }

times=()
for run in $(seq "$launches"); do
    start=$(now_ms)
    QT_QPA_PLATFORM=xcb "$program" --demo MC-22 >/dev/null 2>&1 &
    pid=$!
    shown=""
    for _ in $(seq 5000); do
        id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title" | awk '{print $1}' | head -1 || true)
        if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
            shown=$(now_ms)
            break
        fi
        kill -0 $pid 2>/dev/null || break
        sleep 0.002
    done
    if [ -z "$shown" ]; then
        echo "launch $run: no window appeared" >&2
        kill $pid 2>/dev/null || true
        exit 1
    fi
    times+=($((shown - start)))
    if [ "$run" -eq "$launches" ]; then
        sleep 1
        rss=$(awk '/VmRSS/ {print $2, $3}' "/proc/$pid/status")
    fi
    kill $pid
    wait $pid 2>/dev/null || true
done

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "start-up to the first shown window: median ${median} ms of ${launches} launches" \
    "(fastest $(echo "$sorted" | head -1) ms, slowest $(echo "$sorted" | tail -1) ms)"
echo "resident memory once shown: $rss"
