#!/usr/bin/env bash
# Starts the real window under a virtual X server and saves a PNG of it.
#   screenshot.sh <build dir> <output.png> [QT_SCALE_FACTOR]
# When the build has the phone emulator and the sample section, the window is
# pointed at an emulator holding the samples and Download is clicked first.
set -euo pipefail
build="$(cd "$1" && pwd)"
out="$2"
scale="${3:-1}"

run() {
    emulator_pid="" device=""
    if [ -x "$build/emulator/phone-emulator" ] && [ -f "$build/samples/16-04.sec" ]; then
        coproc EMULATOR { exec "$build/emulator/phone-emulator" --sec "$build/samples/16-04.sec"; }
        emulator_pid=$EMULATOR_PID
        read -r -t 10 device <&"${EMULATOR[0]}"
    fi
    GBP_COM4="$device" QT_SCALE_FACTOR="$scale" "$build/app/velmoran" &
    pid=$!
    # Globals, so the trap still sees them when the script ends.
    trap 'kill $pid $emulator_pid 2>/dev/null || true' EXIT
    local id=""
    for _ in $(seq 1 100); do
        id="$(xwininfo -root -tree 2>/dev/null | awk '/"Velmoran 1.0"/ {print $1; exit}')"
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
    sleep 0.5
    if [ -n "$device" ]; then
        # Download: the button's middle, in window coordinates.
        xdotool mousemove --window "$id" "$(awk "BEGIN{print int(236*$scale)}")" \
            "$(awk "BEGIN{print int(147*$scale)}")" click 1
        sleep 1.5
    fi
    import -window "$id" "$out"
}

if [ -n "${INSIDE_XVFB:-}" ]; then
    run
else
    INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
