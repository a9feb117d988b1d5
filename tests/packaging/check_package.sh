#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a throw-away
# folder and checks what a user would get: the files in their places, the
# package's name, version and dependencies, the phone library found through
# the program's own run path, and the installed program starting headless.
# Usage: check_package.sh <build dir> <work dir>
set -euo pipefail
build="$1"
work="$2"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
shopt -s nullglob
debs=("$work"/pkg/velmoran_1.0_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one velmoran_1.0_*.deb, found: ${debs[*]:-none}"
deb="${debs[0]}"

[ "$(dpkg-deb -f "$deb" Package)" = velmoran ] || fail "package name is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0 ] || fail "package version is $(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
for needed in libqt6widgets6 libqt6gui6 libc6 qt6-qpa-plugins; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
usr="$root/usr"
for f in bin/velmoran bin/phone-emulator \
    share/applications/org.velmoran.Velmoran.desktop \
    share/metainfo/org.velmoran.Velmoran.metainfo.xml; do
    [ -f "$usr/$f" ] || fail "the package lacks /usr/$f"
done
libs=("$usr"/lib/libGBP.so "$usr"/lib/*/libGBP.so)
[ ${#libs[@]} -eq 1 ] || fail "expected one libGBP.so under /usr/lib, found: ${libs[*]:-none}"

# The icon at each size, each file of the size its folder names.
for size in 16 22 24 32 48 64 128 256; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/org.velmoran.Velmoran.png"
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$(file "$png")"
done

desktop-file-validate "$usr/share/applications/org.velmoran.Velmoran.desktop" ||
    fail "the installed desktop entry is not valid"
appstreamcli validate --no-net "$usr/share/metainfo/org.velmoran.Velmoran.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "the installed metainfo is not valid"; }

# The library comes from the package, through the program's run path.
unset LD_LIBRARY_PATH
resolved="$(ldd "$usr/bin/velmoran" | awk '$1 == "libGBP.so" {print $3}')"
[ -n "$resolved" ] || fail "ldd does not resolve libGBP.so: $(ldd "$usr/bin/velmoran")"
[ "$(readlink -f "$resolved")" = "$(readlink -f "${libs[0]}")" ] ||
    fail "libGBP.so resolves to $resolved, not to the package's ${libs[0]}"
if ldd "$usr/bin/velmoran" | grep -q "not found"; then
    fail "unresolved libraries: $(ldd "$usr/bin/velmoran" | grep 'not found')"
fi

# Started headless from the unpacked tree, the program builds its window and
# waits for clicks: it must still be running a moment later.
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
"$usr/bin/velmoran" >"$work/run.log" 2>&1 &
pid=$!
for _ in $(seq 1 15); do
    sleep 0.1
    kill -0 "$pid" 2>/dev/null || break
done
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    cat "$work/run.log" >&2
    fail "the installed program ended by itself (status $status)"
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
if grep -q "error while loading shared libraries" "$work/run.log"; then
    cat "$work/run.log" >&2
    fail "the installed program could not load its libraries"
fi
rm -rf "$work"
echo "package $(basename "$deb") checked"
