#!/usr/bin/env bash
# The Debian package of the Linux program, made from a native build and installed as a user
# would: its menu entry and AppStream description validate, lintian finds no error, apt
# installs it, /usr/bin/kelvor starts on a virtual display until its window shows and ends in
# order at SIGTERM, and apt removes it again.
#   linux-package-test.sh BUILD_DIR        (prints "N passed, N failed" at its end)
# Installs into the running system: run it as root (or with sudo) on a test machine.
set -uo pipefail
build=$(cd "$1" && pwd)
passed=0
failed=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; failed=$((failed + 1)); }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@"; }

work=$(mktemp -d)
chmod 755 "$work"  # apt reads the package as its own user
installed=0
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    [ "$installed" -eq 1 ] && apt_get purge kelvor >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

finish() {
    echo "Linux package: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit $?
}

rm -f "$build"/kelvor_*.deb
if (cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1); then
    deb=$(ls "$build"/kelvor_*_*.deb 2>/dev/null | head -n 1)
fi
if [ -z "${deb:-}" ]; then
    cat "$work/cpack.log"
    fail "cpack made no package"
    finish
fi
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "kelvor_${version}_${arch}.deb" ] && pass "package $(basename "$deb")" ||
    fail "package named $(basename "$deb")"
cp "$deb" "$work/"
deb=$work/$(basename "$deb")

# What the package ships, checked as shipped.
dpkg-deb -x "$deb" "$work/root"
expected=(usr/bin/kelvor usr/share/applications/kelvor.desktop usr/share/metainfo/org.kelvor.kelvor.metainfo.xml
          usr/share/icons/hicolor/16x16/apps/kelvor.png usr/share/icons/hicolor/32x32/apps/kelvor.png
          usr/share/icons/hicolor/48x48/apps/kelvor.png usr/share/doc/kelvor/copyright
          usr/share/doc/kelvor/changelog.gz usr/share/man/man1/kelvor.1.gz)
missing=()
for file in "${expected[@]}"; do [ -f "$work/root/$file" ] || missing+=("$file"); done
[ ${#missing[@]} -eq 0 ] && pass "the package holds the program, menu entry, icons, description and documents" ||
    fail "missing from the package: ${missing[*]}"
for size in 16 32 48; do
    read -r width height < <(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' \
        "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/kelvor.png")
    [ "$width $height" = "$size $size" ] || fail "icon ${size}x${size} is ${width}x${height}"
done
depends=$(dpkg-deb -f "$deb" Depends)
section=$(dpkg-deb -f "$deb" Section)
grep -q 'libqt6widgets6' <<<"$depends" && [ "$section" = mail ] &&
    pass "section mail, dependencies from the program: $depends" || fail "section $section, dependencies: $depends"

# One check under its name: passed when the command succeeds.
check() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name"; fi; }
check desktop-file-validate desktop-file-validate "$work/root/usr/share/applications/kelvor.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.kelvor.kelvor.metainfo.xml"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' | tee "$work/lintian.log"
if grep -q '^E: ' "$work/lintian.log"; then
    fail "lintian reports errors"
else
    pass "lintian: no errors ($(grep -c '^W: ' "$work/lintian.log") warnings)"
fi

if ! apt_get install "$deb" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    fail "apt install"
    finish
fi
installed=1
[ -x /usr/bin/kelvor ] && pass "apt installed /usr/bin/kelvor" || fail "no /usr/bin/kelvor after apt install"

# The installed program on a display of its own, with settings and lock of its own.
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" /usr/bin/kelvor >"$work/kelvor.log" 2>&1 &
kelvor=$!
pids+=($kelvor)
shown=0
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Kelvor$' >/dev/null 2>&1 && { shown=1; break; }
    sleep 0.1
done
if [ "$shown" -eq 1 ]; then
    pass "/usr/bin/kelvor shows its window"
    kill -TERM "$kelvor"
    wait "$kelvor"
    status=$?
    [ "$status" -eq 0 ] && grep -q '^INT=10$' "$work/config/kelvor.INI" 2>/dev/null &&
        pass "SIGTERM ends it in order with its settings written" || fail "SIGTERM: status $status, settings: $(cat "$work/config/kelvor.INI" 2>&1)"
else
    cat "$work/kelvor.log"
    fail "/usr/bin/kelvor showed no window"
fi

if apt_get purge kelvor >"$work/apt.log" 2>&1 && [ ! -e /usr/bin/kelvor ] &&
   [ ! -e /usr/share/applications/kelvor.desktop ]; then
    installed=0
    pass "apt removed the package"
else
    cat "$work/apt.log"
    fail "apt remove"
fi
finish
