#!/usr/bin/env bash
# The mailbox password in a real GNOME Keyring on a private session bus that this test starts,
# with HOME and the XDG folders in a temporary folder, so that no keyring of the machine's user
# is touched: stored, read back by a new process, moved from an old settings file, forgotten
# when empty. Then a bus without any Secret Service, a keeper that never answers, and no bus:
# the settings file keeps the password as it always did, and nothing waits for long.
#   secret-service-test.sh KEEPER_TOOL
set -euo pipefail
tool=$1
for program in dbus-run-session dbus-send gnome-keyring-daemon secret-tool iconv; do
    command -v "$program" >/dev/null || { echo "missing $program (scripts/install-packages test)"; exit 1; }
done

fail() { echo "FAIL: $*"; exit 1; }
settings() { printf '[Settings]\nINT=10\nPOP=pop.example\nUSR=%s\n%sPUP=0\n' "$1" "${2:+PWD=$2
}"; }
has_no_password() { ! grep -q '^PWD=' "$1/kelvor.INI"; }
lookup() { secret-tool lookup application kelvor server pop.example user "$1"; }
# The password in the program's Shift_JIS, from the UTF-8 of this script.
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

if [ "${2:-}" = --with-keyring ]; then
    work=$3
    printf '%s' "login password of the test" |
        gnome-keyring-daemon --foreground --unlock --components=secrets >"$work/keyring.log" 2>&1 &
    keyring=$!
    trap 'kill $keyring 2>/dev/null || true' EXIT
    owned() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'
    }
    for (( i=0; i<100; i++ )); do owned && break; sleep 0.1; done
    owned || fail "GNOME Keyring did not come up on the private bus"

    mkdir -p "$work/taro" "$work/hanako"
    settings taro >"$work/taro/kelvor.INI"
    "$tool" save "$work/taro" pop.example taro "$(sjis 's3cret 秘密')"
    has_no_password "$work/taro" || fail "PWD written though the keeper took the password"
    [ "$(lookup taro)" = 's3cret 秘密' ] || fail "the keyring does not hold the typed password"
    items=$(secret-tool search --all application kelvor 2>&1)
    grep -qx 'label = Kelvor mailbox password for taro on pop.example' <<<"$items" || fail "the item has not its label"
    [ "$("$tool" load "$work/taro" pop.example taro)" = "$(sjis 's3cret 秘密')" ] ||
        fail "a new process does not read the password back"
    echo "stored in the keyring and read back by a new process"

    settings taro stale >"$work/taro/kelvor.INI"
    [ "$("$tool" load "$work/taro" pop.example taro)" = "$(sjis 's3cret 秘密')" ] || fail "a stale PWD won over the keeper"
    "$tool" save "$work/taro" pop.example taro
    has_no_password "$work/taro" || fail "the stale PWD stayed in the file"
    echo "the keyring's password wins over a stale PWD, which leaves the file"

    settings hanako old-password >"$work/hanako/kelvor.INI"
    "$tool" save "$work/hanako" pop.example hanako
    [ "$(cat "$work/hanako/kelvor.INI")" = "$(settings hanako)" ] || fail "moving the password changed the rest of the file"
    [ "$(lookup hanako)" = old-password ] || fail "the old file's password did not move into the keyring"
    [ "$("$tool" load "$work/hanako" pop.example hanako)" = old-password ] || fail "the moved password does not read back"
    echo "an old file's password moved into the keyring"

    # The sign-in's refresh token (longer than some keepers take): an item of its own beside the
    # password, each call touching only its own kind.
    token=$(head -c 3000 /dev/zero | tr '\0' t)
    "$tool" token store pop.example taro "$token" && [ "$("$tool" token read pop.example taro)" = "$token" ] ||
        fail "the refresh token does not read back"
    grep -qx 'label = Kelvor sign-in for taro on pop.example (refresh token)' <<<"$(secret-tool search --all application kelvor 2>&1)" ||
        fail "the token's item has not its label"
    "$tool" token forget pop.example taro
    [ "$("$tool" load "$work/taro" pop.example taro)" = "$(sjis 's3cret 秘密')" ] || fail "the token took the password's place"
    echo "the refresh token in an item of its own beside the password"

    "$tool" save "$work/taro" pop.example taro ""
    ! lookup taro >/dev/null 2>&1 || fail "an empty password left the item in the keyring"
    has_no_password "$work/taro" || fail "an empty password was written to the file"
    [ "$(lookup hanako)" = old-password ] || fail "forgetting one item took another"
    echo "an empty password removed the item"
    exit 0
fi

if [ "${2:-}" = --without-keeper ]; then
    work=$3
    mkdir -p "$work/none"
    settings taro old-password >"$work/none/kelvor.INI"
    "$tool" save "$work/none" pop.example taro typed-password 2>/dev/null
    [ "$(cat "$work/none/kelvor.INI")" = "$(settings taro typed-password)" ] || fail "no keeper: PWD not in the file"
    [ "$(stat -c %a "$work/none/kelvor.INI")" = 600 ] || fail "no keeper: the file is not private"
    [ "$("$tool" load "$work/none" pop.example taro 2>/dev/null)" = typed-password ] || fail "no keeper: not read back"
    echo "no Secret Service on the bus: the password stays in the file (0600)"

    coproc silent { "$tool" silent-keeper; }
    read -r ready <&"${silent[0]}" && [ "$ready" = ready ] || fail "the silent keeper did not take the name"
    start=$SECONDS
    "$tool" save "$work/none" pop.example taro 2>/dev/null
    [ $((SECONDS - start)) -lt 30 ] || fail "a keeper that never answers held the start for $((SECONDS - start)) s"
    [ "$(cat "$work/none/kelvor.INI")" = "$(settings taro typed-password)" ] ||
        fail "a password that could not be read was changed in the file"
    "$tool" save "$work/none" pop.example taro other-password 2>/dev/null
    [ "$(cat "$work/none/kelvor.INI")" = "$(settings taro other-password)" ] ||
        fail "a keeper that never answers: a typed password did not reach the file"
    echo "a keeper that never answers: the file kept the password, and the calls ended within their bound"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
private=(env -i "PATH=$PATH" "HOME=$work/home" "XDG_CONFIG_HOME=$work/home/.config"
         "XDG_DATA_HOME=$work/home/.local/share" "XDG_CACHE_HOME=$work/home/.cache"
         "XDG_RUNTIME_DIR=$work/runtime" ASAN_OPTIONS=detect_leaks=0)

"${private[@]}" dbus-run-session -- "$0" "$tool" --with-keyring "$work" || fail "with GNOME Keyring"

# A session bus that can start no service at all: no <servicedir>, so not even an installed
# GNOME Keyring comes up.
cat >"$work/no-services.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work/runtime</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
"${private[@]}" dbus-run-session --config-file="$work/no-services.conf" -- "$0" "$tool" --without-keeper "$work" \
    2> >(grep -v 'Failed to set fd limit' >&2) || fail "without a Secret Service"

mkdir -p "$work/nobus"
settings taro >"$work/nobus/kelvor.INI"
"${private[@]}" "$tool" save "$work/nobus" pop.example taro typed-password 2>/dev/null
grep -qx PWD=typed-password "$work/nobus/kelvor.INI" || fail "no session bus: PWD not in the file"
echo "no session bus: the password stays in the file"
echo PASS
