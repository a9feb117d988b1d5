#!/usr/bin/env bash
# Screenshots of the window with test pictures in its slots (velmoran-showcase)
# at the scale factors 1, 1.5 and 2, under a virtual X server, and a check
# that every picture is drawn without smoothing: the area of each slot holds
# only the four palette shades, with no blended colours between them.
# Usage: hidpi_screenshots.sh <build dir> <output folder>
set -euo pipefail
build="$(cd "$1" && pwd)"
out="$2"
mkdir -p "$out"

shot() {
    local scale="$1" png="$2"
    QT_SCALE_FACTOR="$scale" "$build/bench/startup/velmoran-showcase" &
    local pid=$! id=""
    for _ in $(seq 1 100); do
        id="$(xwininfo -root -tree 2>/dev/null | awk '/"Velmoran 1.0"/ {print $1; exit}')"
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { kill "$pid"; echo "the window did not appear" >&2; exit 1; }
    sleep 0.5
    import -window "$id" "$png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

# The colours inside slot 1's picture area (client coordinates 8,8 96x77,
# scaled); anything besides the four shades would be smoothing.
check() {
    local scale="$1" png="$2"
    local geometry colours
    geometry="$(awk -v s="$scale" 'BEGIN { printf "%dx%d+%d+%d", int(96*s), int(77*s), int(8*s+0.5), int(8*s+0.5) }')"
    colours="$(convert "$png" -crop "$geometry" +repage -unique-colors txt:- | tail -n +2 | awk '{print $3}' | sort -u | tr '\n' ' ')"
    echo "scale $scale: $(identify -format '%wx%h' "$png"), colours in slot 1: $colours"
    for c in $colours; do
        case "$c" in
        "#000000" | "#808080" | "#C0C0C0" | "#FFFFFF") ;;
        *) echo "  not a palette shade: $c (smoothed or misplaced)" >&2; return 1 ;;
        esac
    done
}

if [ -z "${INSIDE_XVFB:-}" ]; then
    INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
status=0
for scale in 1 1.5 2; do
    png="$out/window-x$scale.png"
    shot "$scale" "$png"
    check "$scale" "$png" || status=1
done
exit $status
