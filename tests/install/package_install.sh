#!/usr/bin/env bash
# The package installed into the system and used the way a desktop user uses it: an ordinary
# user (not root) starts the installed program from an unrelated folder on a system whose
# unprivileged ICMP sockets are closed, types 127.0.0.1 and presses Enter. The program must
# ping through its capability (four replies) and copy the marker pictures on its first start.
# Afterwards the package is removed again and must leave nothing behind.
# The user's keys go to a private virtual display through XTEST (xdotool); the results pane is
# read back through the clipboard (Ctrl+A, Ctrl+C, xclip), as a user would copy it.
# Usage: package_install.sh <package file>
set -uo pipefail
deb="$1"
skip=77

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root"
    exit "$skip"
fi
for tool in Xvfb xdotool xclip setpriv ip getcap; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"
        exit "$skip"
    fi
done

# One run at a time on a machine: the package and /usr/bin/tarvex are shared by all.
lock_folder=/run/lock
[ -d "$lock_folder" ] || lock_folder=/tmp
exec 9>"$lock_folder/tarvex-package-test.lock"
flock 9
if dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q 'ok installed'; then
    echo "SKIP: a tarvex package is installed on this system already; not replacing it"
    exit "$skip"
fi

namespace="tarvex-install-$$"
work="$(mktemp -d)"
chmod 755 "$work"
user=nobody
group="$(id -gn "$user")"
home="$work/home"
start="$work/start"
runtime="$work/runtime"
program_pid=""
xvfb_pid=""
installed=""
# shellcheck source=desktop_user.sh
source "$(dirname "$0")/desktop_user.sh"

cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    ip netns del "$namespace" 2>/dev/null
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=600 tarvex \
            >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok:   $*"; }

# ---- a network namespace whose unprivileged ICMP sockets are closed
if ! ip netns add "$namespace" 2>/dev/null; then
    echo "SKIP: network namespaces cannot be created here"
    exit "$skip"
fi
ip netns exec "$namespace" ip link set lo up
ip netns exec "$namespace" sysctl -q -w net.ipv4.ping_group_range="1 0"
if [ "$(ip netns exec "$namespace" sysctl -n net.ipv4.ping_group_range | tr -s '\t ' ' ')" != "1 0" ]; then
    echo "FAIL: cannot close unprivileged ICMP sockets in the namespace"
    exit 1
fi

# ---- install
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "$deb" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    echo "FAIL: apt-get install $deb"
    exit 1
fi
installed=yes
dpkg-query -L tarvex | sort >"$work/files"
capability="$(getcap /usr/bin/tarvex)"
if [[ "$capability" == *cap_net_raw=ep* ]]; then ok "installed program has $capability"; else fail "capability of /usr/bin/tarvex: '$capability'"; fi

# ---- a private display
mkdir -p "$home" "$start" "$runtime"
chown "$user:$group" "$home" "$start" "$runtime"
chmod 700 "$runtime"
if ! start_display; then
    echo "FAIL: the virtual X server did not start"
    exit 1
fi

# The embedded browser's sandbox needs user namespaces; where this machine (a container, say)
# refuses them to ordinary users, the browser runs without it, as in the other window tests.
as_user=(setpriv --reuid="$user" --regid="$group" --clear-groups)
browser=()
if ! "${as_user[@]}" unshare --user true 2>/dev/null; then
    echo "note: user namespaces are closed to ordinary users here; the browser runs without its sandbox"
    browser=(QTWEBENGINE_DISABLE_SANDBOX=1)
fi

# ---- the user starts the program from an unrelated folder
(
    cd "$start" || exit 1
    exec ip netns exec "$namespace" "${as_user[@]}" \
        env -i PATH=/usr/bin:/bin HOME="$home" USER="$user" DISPLAY="$DISPLAY" \
        XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 "${browser[@]}" tarvex
) >"$work/program.log" 2>&1 &
program_pid=$!

wait_for_main_window "$home/Documents/Haldrin/Tarvex/System/Tarvex.ini" || exit 1
ok "main window shown"

# The first start has copied the pictures from the installed ones (the start folder has none).
images="$home/Documents/Haldrin/Tarvex/Images"
for picture in Marker.png Flag.png; do
    if cmp -s "$images/$picture" "/usr/share/tarvex/$picture"; then
        ok "first start copied $picture from /usr/share/tarvex"
    else
        fail "$images/$picture is not the installed picture"
    fi
    owner="$(stat -c %U "$images/$picture" 2>/dev/null)"
    [ "$owner" = "$user" ] || fail "$picture belongs to '$owner', not $user"
done

# Type the address as the user does. Without a window manager the window is given the focus
# directly; the address field has it inside the window from the start.
xdotool windowfocus --sync "$window"
xdotool type --delay 40 "127.0.0.1"
xdotool key Return

if ! wait_for_results; then
    exit 1
fi
replies="$(grep -c "^Reply from 127\.0\.0\.1[:;] " <<<"$results")"
if [ "$replies" -eq 4 ]; then ok "four replies from 127.0.0.1"; else fail "$replies replies from 127.0.0.1, expected 4"; fi
if grep -qxF "Packets: Sent = 4, Received = 4, Lost = 0 [ 0% loss ]" <<<"$results"; then
    ok "statistics: four sent, four received"
else
    fail "statistics line"
fi
if grep -q "Cannot send echo requests" <<<"$results"; then fail "the program could not send"; fi

kill "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
program_pid=""

# ---- removal leaves nothing of what the package installed
if DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=600 tarvex \
    >"$work/apt.log" 2>&1; then
    installed=""
    ok "package removed"
else
    cat "$work/apt.log"
    fail "apt-get purge tarvex"
fi
left=""
while read -r path; do
    # Shared folders (/usr, /usr/share/icons/...) stay; every file and the program's own folder go.
    if { [ -e "$path" ] || [ -L "$path" ]; } && { [ ! -d "$path" ] || [ "$path" = /usr/share/tarvex ]; }; then
        left="$left $path"
    fi
done <"$work/files"
if [ -z "$left" ]; then ok "nothing left of the package"; else fail "left after removal:$left"; fi
if dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q 'installed'; then fail "package still known"; fi

[ "$failures" -eq 0 ]
