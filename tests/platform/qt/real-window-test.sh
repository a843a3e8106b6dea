#!/usr/bin/env bash
# The real program on a virtual display with a tray host: its window is found by its title, its
# tray icon appears grey, a check that finds new mail turns it red, and a screenshot of the
# window is a real picture. A second start is refused. Then the tray menu's exit, confirmed, ends
# the program and the settings file is written, the password moved into the keyring. Started
# again, "OK" writes a changed field at once, and SIGTERM ends it in order with the fields
# written. A password typed and confirmed goes into the keyring, not the file, and the next start
# logs in with it. With an empty password at a server whose host has a sign-in entry, the check
# button signs in through the browser (the stand-in of tools/oauth2 as $BROWSER) at the test
# authorization server, logs in to a Dovecot that takes its tokens and shows the count box; the
# refresh token goes into the keyring, and a restart checks without the browser. Everything runs
# on a private session bus with a GNOME Keyring of its own and HOME in a temporary folder, so
# that no keyring of the machine's user is touched.
#   real-window-test.sh KELVOR MAILBOX_SERVER OUTPUT_DIR
set -euo pipefail
kelvor=$1 mailbox_server=$2 output=$3
for tool in Xvfb trayer xdotool import convert dbus-run-session dbus-send gnome-keyring-daemon secret-tool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-packages test)"; exit 1; }
done
if [ -z "${KELVOR_PRIVATE_HOME:-}" ]; then
    home=$(mktemp -d)
    status=0
    env -u DBUS_SESSION_BUS_ADDRESS HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
        KELVOR_PRIVATE_HOME="$home" dbus-run-session -- "$0" "$@" || status=$?
    rm -rf "$home"
    exit $status
fi

work=$(mktemp -d)
mkdir -p "$output" "$work/bin" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
pids=()
cleanup() {
    exec 4>&- 2>/dev/null || true
    for (( i=${#pids[@]}-1; i>=0; i-- )); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    import -window root "$output/failure.png" 2>/dev/null || true
    echo "screen at the failure: $output/failure.png"
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tries=$1
    shift
    for (( i=0; i<tries; i++ )); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The keyring: only its Secret Service, its login collection made and unlocked without a prompt.
printf '%s' "login password of the test" | XDG_RUNTIME_DIR="$work/runtime" \
    gnome-keyring-daemon --foreground --unlock --components=secrets >"$work/keyring.log" 2>&1 &
pids+=($!)
keyring_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'
}
wait_for 100 keyring_up || fail "GNOME Keyring did not come up on the private bus: $(cat "$work/keyring.log")"
kept_password() { secret-tool lookup application kelvor server "127.0.0.1:$port" user "$1" 2>/dev/null; }
no_password_in_file() { ! grep -q '^PWD=' "$work/config/kelvor.INI"; }

# The display: Xvfb picks a free number and writes it to the descriptor.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

# The tray host: a 48 x 24 panel at the top right corner of the screen.
tray_x=752 tray_w=48 tray_h=24
trayer --edge top --align right --widthtype pixel --width $tray_w --heighttype pixel --height $tray_h \
    --transparent false --tint 0xffffff --SetDockType false >"$work/trayer.log" 2>&1 &
pids+=($!)

# Pixels of the tray's area close to a colour: the cat's face is silver (grey) or red.
tray_pixels() {
    import -window root -crop "${tray_w}x${tray_h}+${tray_x}+0" +repage "$work/tray.png" 2>/dev/null || { echo 0; return; }
    convert "$work/tray.png" -fuzz 8% -fill black +opaque "$1" -fill white -opaque "$1" \
        -format '%[fx:round(mean*w*h)]' info:
}
grey_face() { [ "$(tray_pixels '#C0C0C0')" -gt 15 ]; }
red_face() { [ "$(tray_pixels '#FF0000')" -gt 30 ]; }

# The mailbox, empty at first; each line written to descriptor 4 sets its message count.
mkfifo "$work/mailbox.in"
"$mailbox_server" <"$work/mailbox.in" >"$work/port" 2>"$work/mailbox.log" &
pids+=($!)
exec 4>"$work/mailbox.in"
echo 0 >&4
wait_for 50 test -s "$work/port" || fail "the mailbox server did not start"
port=$(head -n 1 "$work/port")

# The program under its own name, with its settings file beside nothing of the user's.
cp "$kelvor" "$work/bin/kelvor"
printf '[Settings]\nINT=10\nPOP=127.0.0.1:%s\nUSR=user\nPWD=secret\nPUP=0\n' "$port" >"$work/config/kelvor.INI"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" ASAN_OPTIONS=detect_leaks=0 \
    "$work/bin/kelvor" >"$work/kelvor.log" 2>&1 &
kelvor_pid=$!
pids+=($kelvor_pid)

find_window() { window=$(xdotool search --onlyvisible --name '^Kelvor$' 2>/dev/null | head -n 1); [ -n "$window" ]; }
wait_for 100 find_window || fail "no window titled Kelvor"
echo "window $window found"
wait_for 100 grey_face || fail "no grey tray icon"
echo "grey tray icon: $(tray_pixels '#C0C0C0') silver pixels"
import -window root -crop "${tray_w}x${tray_h}+${tray_x}+0" +repage "$output/tray-grey.png"

# Three messages arrive; the button "チェックする" (at 314, 51 in the window) checks at once.
echo 3 >&4
xdotool mousemove --window "$window" 314 51 click 1
wait_for 100 red_face || fail "the tray icon did not turn red after new mail"
echo "red tray icon: $(tray_pixels '#FF0000') red pixels"
import -window root -crop "${tray_w}x${tray_h}+${tray_x}+0" +repage "$output/tray-red.png"

# The report box of the check is open; a picture of the main window must show the window.
import -window "$window" "$output/window.png"
read -r width height colours < <(identify -format '%w %h %k\n' "$output/window.png")
echo "window screenshot: ${width}x${height}, $colours colours"
[ "$width" -ge 300 ] && [ "$height" -ge 300 ] || fail "the screenshot is not of the window"
[ "$colours" -ge 16 ] || fail "the screenshot of the window is blank"
import -window root "$output/screen.png"

# Close the report, then exit through the tray menu: right button on the icon, "終了(&Q)", Yes.
# xdotool matches titles without regard to case: the box is the other window of that title.
other_window() { xdotool search --onlyvisible --name '^kelvor$' 2>/dev/null | grep -v "^$window\$" | head -n 1; }
report_box() { box=$(other_window); [ -n "$box" ]; }
wait_for 50 report_box || fail "no report box"
[ "$(xdotool getwindowname "$box")" = kelvor ] || fail "the report box is not captioned with the program's name"
xdotool windowfocus --sync "$box" key Return
no_report_box() { ! report_box; }
wait_for 50 no_report_box || fail "the report box did not close"

# A second start while the first runs is refused with a message and ends; the first runs on.
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" ASAN_OPTIONS=detect_leaks=0 \
    "$work/bin/kelvor" >"$work/second.log" 2>&1 &
second_pid=$!
pids+=($second_pid)
wait_for 100 report_box || fail "no refusal message from a second start"
import -window "$box" "$output/second-start.png"
xdotool windowfocus --sync "$box" key Return
second_ended() { ! kill -0 "$second_pid" 2>/dev/null; }
wait_for 50 second_ended || fail "the second start did not end"
kill -0 "$kelvor_pid" || fail "the first program ended with the second"
echo "second start refused"

visible_windows() { xdotool search --onlyvisible --class '^kelvor$' 2>/dev/null | wc -l; }
before=$(visible_windows)
xdotool mousemove $((tray_x + tray_w - 12)) 12 click 3
menu_open() { [ "$(visible_windows)" -gt "$before" ]; }
wait_for 50 menu_open || fail "no tray menu after the right button"
xdotool key q
confirm_box() { confirm=$(other_window); [ -n "$confirm" ]; }
wait_for 50 confirm_box || fail "no exit confirmation"
[ "$(xdotool getwindowname "$confirm")" = Kelvor ] || fail "the exit confirmation is not captioned Kelvor"
xdotool windowfocus --sync "$confirm" key y
ended() { ! kill -0 "$kelvor_pid" 2>/dev/null; }
wait_for 100 ended || fail "the program did not end after the confirmed exit"
grep -q "^POP=127.0.0.1:$port" "$work/config/kelvor.INI" || fail "the settings were not written back"
no_password_in_file || fail "the old file's password stayed in the file"
[ "$(kept_password user)" = secret ] || fail "the old file's password did not move into the keyring"
echo "program ended; settings written: $(tr '\n' ' ' <"$work/config/kelvor.INI"); the password in the keyring"

# Nothing is lost when the session ends. A user name confirmed with "OK" is on disk at once; an
# interval typed afterwards, with the exit confirmation still open, is written when SIGTERM
# ends the program, which then ends by itself: no box, tray icon gone, guard released.
setting() { grep -qx "$1" "$work/config/kelvor.INI"; }
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" ASAN_OPTIONS=detect_leaks=0 \
    "$work/bin/kelvor" >"$work/third.log" 2>&1 &
kelvor_pid=$!
pids+=($kelvor_pid)
wait_for 100 find_window || fail "no window at the start after the exit"
wait_for 100 grey_face || fail "no grey tray icon at the start after the exit"
# The fields by their places in the window: user name at 160, 80, interval at 100, 21.
xdotool windowfocus --sync "$window" mousemove --window "$window" 160 80 click 1 key ctrl+a type hanako
xdotool key Return
wait_for 50 setting USR=hanako || fail "\"OK\" did not write the user name"
no_window() { ! find_window; }
wait_for 50 no_window || fail "\"OK\" did not hide the window"
echo "written at \"OK\": USR=hanako"
xdotool mousemove $((tray_x + tray_w - 12)) 12 click --repeat 2 --delay 100 1
wait_for 100 find_window || fail "the tray double-click did not show the window"
xdotool windowfocus --sync "$window" mousemove --window "$window" 100 21 click 1 key ctrl+a type 25
before=$(visible_windows)
xdotool mousemove $((tray_x + tray_w - 12)) 12 click 3
wait_for 50 menu_open || fail "no tray menu after the right button"
xdotool key q
wait_for 50 confirm_box || fail "no exit confirmation"
kill -TERM "$kelvor_pid"
wait_for 100 ended || fail "SIGTERM did not end the program"
wait "$kelvor_pid"
status=$?
[ "$status" -eq 0 ] || fail "the program did not end by itself after SIGTERM (status $status)"
setting INT=25 || fail "the interval typed before SIGTERM was not written"
setting USR=hanako || fail "the user name was lost at SIGTERM"
flock -n "$work/runtime/h_XXXX_PrevInstance" true || fail "the guard was still held"
no_tray_icon() { ! grey_face; }
wait_for 50 no_tray_icon || fail "the tray icon stayed after SIGTERM"
echo "SIGTERM with the exit confirmation open: ended in order; INT=25, USR=hanako written"

# A password typed into its field (at 120, 109) and confirmed with "OK" goes into the keyring and
# not into the file; the next start logs in with it.
start_kelvor() {
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" ASAN_OPTIONS=detect_leaks=0 \
        "$work/bin/kelvor" >>"$work/fourth.log" 2>&1 &
    kelvor_pid=$!
    pids+=($kelvor_pid)
    wait_for 100 find_window || fail "no window at the start with the typed password"
}
start_kelvor
xdotool windowfocus --sync "$window" mousemove --window "$window" 120 109 click 1 key ctrl+a type typed-secret
xdotool key Return
typed_kept() { [ "$(kept_password hanako)" = typed-secret ]; }
wait_for 100 typed_kept || fail "\"OK\" did not put the typed password into the keyring"
no_password_in_file || fail "the typed password was written to the settings file"
kill -TERM "$kelvor_pid"
wait_for 100 ended || fail "SIGTERM did not end the program"
no_password_in_file || fail "the end of the program wrote the password to the settings file"
start_kelvor
xdotool mousemove --window "$window" 314 51 click 1
wait_for 100 report_box || fail "no report of the check with the kept password"
echo commands >&4
logged_in() { grep -qx 'PASS typed-secret' "$work/mailbox.log"; }
wait_for 50 logged_in || fail "the new start did not log in with the kept password"
xdotool windowfocus --sync "$box" key Return
kill -TERM "$kelvor_pid"
wait_for 100 ended || fail "SIGTERM did not end the program"
echo "typed password kept in the keyring, not in the file; the next start logged in with it"

# Signing in with the provider. Dovecot's helpers run as other users: the folders must let them pass.
root=$(cd "$(dirname "$0")/../../.." && pwd)
chmod o+x "$work"
mkdir -p "$work/mail/kelvor/Maildir/new"
for n in 1 2; do printf 'From: a@example.com\nSubject: %s\n\nbody\n' "$n" >"$work/mail/kelvor/Maildir/new/$n.eml"; done
dovecot_port=$("$root/tools/dovecot/dovecot.sh" start --oauth2 "$work/dovecot" "$work/mail" kelvor unused) ||
    fail "the Dovecot with bearer tokens did not start"
trap '"$root/tools/dovecot/dovecot.sh" stop "$work/dovecot"; cleanup' EXIT
provider="http://127.0.0.1:$(cat "$work/dovecot/oauth2-port")"
printf '[Settings]\nINT=10\nPOP=127.0.0.1:%s\nUSR=kelvor\nPUP=0\n[OAuth2:127.0.0.1]\nAuthorizeUrl=%s/authorize\nTokenUrl=%s/token\nClientId=kelvor-test\nScope=mail\n' \
    "$dovecot_port" "$provider" "$provider" >"$work/config/kelvor.INI"
start_signing_in() {
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION BROWSER="$root/tools/oauth2/stand-in-browser" \
        KELVOR_BROWSER_LOG="$work/browser.log" KELVOR_BROWSER_DELAY=2 \
        XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" ASAN_OPTIONS=detect_leaks=0 \
        "$work/bin/kelvor" >>"$work/fifth.log" 2>&1 &
    kelvor_pid=$!
    pids+=($kelvor_pid)
    wait_for 100 find_window || fail "no window at the start with a sign-in entry"
}
# The report box is captioned with the program's name; the waiting box with the window's title.
box_titled() { box=$(other_window); [ -n "$box" ] && [ "$(xdotool getwindowname "$box" 2>/dev/null)" = "$1" ]; }
logins() { grep -c 'Login: user=<kelvor>, method=OAUTHBEARER' "$work/dovecot/dovecot.log" || true; }
start_signing_in
xdotool mousemove --window "$window" 314 51 click 1
wait_for 100 test -s "$work/browser.log" || fail "the check button did not open the browser: $(cat "$work/fifth.log")"
wait_for 50 box_titled Kelvor || fail "no box waiting for the sign-in"
# import waits for a click when the window has gone meanwhile, so it is given a few seconds only.
timeout 5 import -window "$box" "$output/sign-in-wait.png" 2>/dev/null || true
wait_for 150 box_titled kelvor || fail "no count box after the sign-in: $(tail -n 5 "$work/dovecot/oauth2.log")"
[ "$(logins)" -eq 1 ] || fail "Dovecot did not log the user in with a token"
xdotool windowfocus --sync "$box" key Return
kill -TERM "$kelvor_pid"
wait_for 100 ended || fail "SIGTERM did not end the program"
[ -n "$(secret-tool lookup application kelvor signin-server 127.0.0.1 signin-user kelvor 2>/dev/null)" ] || fail "the refresh token is not in the keyring"
! grep -q '^TKN=' "$work/config/kelvor.INI" || fail "the refresh token was written to the settings file"
echo "the check button signed in through the browser, logged in with the token and showed the count box"

start_signing_in
xdotool mousemove --window "$window" 314 51 click 1
wait_for 150 box_titled kelvor || fail "no count box at the restart"
[ "$(logins)" -eq 2 ] || fail "the restart did not log in with a token"
[ "$(wc -l <"$work/browser.log")" -eq 1 ] || fail "the restart opened the browser again"
xdotool windowfocus --sync "$box" key Return
kill -TERM "$kelvor_pid"
wait_for 100 ended || fail "SIGTERM did not end the program"
echo "the restart checked with the kept refresh token, without the browser"
echo "PASS"
