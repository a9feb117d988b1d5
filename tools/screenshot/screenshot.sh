#!/usr/bin/env bash
# Starts the real window under a virtual X server and saves a PNG of it.
# Usage: screenshot.sh <velmoran binary> <output.png> [QT_SCALE_FACTOR]
set -euo pipefail
binary="$1"
out="$2"
scale="${3:-1}"

run() {
    QT_SCALE_FACTOR="$scale" "$binary" &
    pid=$!
    trap 'kill $pid 2>/dev/null || true' EXIT
    for _ in $(seq 1 100); do
        id="$(xwininfo -root -tree 2>/dev/null | awk '/"Velmoran 1.0"/ {print $1; exit}')"
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
    sleep 0.5
    import -window "$id" "$out"
}

if [ -n "${INSIDE_XVFB:-}" ]; then
    run
else
    INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$binary" "$out" "$scale"
fi
