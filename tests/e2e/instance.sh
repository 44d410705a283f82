#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One copy at a time: a second copy ends at once without a window or a sound, also with "!"
# (whose status then says that nothing was said);
# SIGTERM keeps the settings; a lock left by a killed copy does not block the next start;
# without XDG_RUNTIME_DIR a lock folder in /tmp that is not the user's own is not used.
source "$(dirname "$0")/common.sh"
# The test sound server, found by its socket also where no runtime folder is set.
test_server=unix:${PULSE_RUNTIME_PATH:-$XDG_RUNTIME_DIR/pulse}/native
export XDG_RUNTIME_DIR=$T/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
conf=$XDG_CONFIG_HOME/Quorvane.conf
# Manual mode, so that the first copy stays silent whenever the test runs.
printf '[Tikkaru]\nMode=1\n' > "$conf"
before=$(md5sum < "$conf")

start_recording
"$TIKKARU" &
first=$!
bg_pids+=($first)
window_id >/dev/null || fail "no window"

status=0
timeout 5 "$TIKKARU" '!' 2>"$T/err" || status=$?
[ "$status" = 7 ] || fail "second copy with ! ended with $status, not 7 (nothing said)"
grep -q 'andere Kopie' "$T/err" || fail "second copy with ! did not say why"
timeout 5 "$TIKKARU" || fail "second copy did not end at once"
sleep 1
[ "$(xdotool search --name '^Quorvane Tikkaru' | wc -l)" = 1 ] || fail "second window"
[ -z "$(stretches)" ] || fail "second copy made a sound"
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings written by a second copy"

kill -TERM "$first"
for _ in $(seq 50); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
kill -0 "$first" 2>/dev/null && fail "SIGTERM did not end the clock"
grep -q '^WinLeft=' "$conf" && grep -q '^Mode=1' "$conf" || fail "SIGTERM did not write the settings"

# A killed copy leaves its lock behind.
"$TIKKARU" &
killed=$!
window_id >/dev/null || fail "no window after restart"
kill -KILL "$killed"
wait "$killed" 2>/dev/null || true
[ -e "$XDG_RUNTIME_DIR/tikkaru.lock" ] || fail "no lock file left to test"
"$TIKKARU" &
bg_pids+=($!)
window_id >/dev/null || fail "stale lock blocked the start"

# Without XDG_RUNTIME_DIR the lock lives in /tmp/tikkaru-UID. Each row runs in a /tmp of its
# own (a private mount namespace; the real /tmp is reached as /mnt) where that folder is
# absent, another user's, a link to a folder elsewhere, or open to all: "!" speaks in every
# case, and the lock is made only in a folder of our own.
stop_recording
if [ "$(id -u)" = 0 ] && [ -d /mnt ] && unshare -m --propagation private true 2>/dev/null &&
    strace -o /dev/null true 2>/dev/null; then
    uid=$(id -u)
    moved() { case $1 in /tmp/*) echo "/mnt/${1#/tmp/}" ;; *) echo "$1" ;; esac; }
    server=unix:$(moved "${test_server#unix:}")
    for row in absent other-owner symlink open-to-all; do
        start_recording
        status=0
        T=$T row=$row uid=$uid server=$server moved_t=$(moved "$T") TIKKARU=$TIKKARU \
            unshare -m --propagation private bash -c '
            set -eu
            mount --bind /tmp /mnt && mount -t tmpfs tmpfs /tmp
            d=/tmp/tikkaru-$uid
            case $row in
            other-owner) mkdir -m 700 "$d" && chown nobody "$d" ;;
            symlink) mkdir -m 700 /tmp/elsewhere && ln -s /tmp/elsewhere "$d" ;;
            open-to-all) mkdir -m 755 "$d" ;;
            esac
            # The lock file is watched as it is made: it must appear only in a folder of ours.
            env -u XDG_RUNTIME_DIR HOME="$moved_t/home" XDG_CONFIG_HOME="$moved_t/home/.config" \
                PULSE_SERVER="$server" timeout 20 strace -f -qq -e trace=openat \
                -o /tmp/opened "$TIKKARU" "!" 2>"$moved_t/lock.err" || exit $?
            made=$(grep -c "tikkaru.lock" /tmp/opened || true)
            case $row in
            absent)
                [ "$(stat -c %a:%u "$d")" = "700:$uid" ] || { echo "folder made as $(stat -c %a:%u "$d")"; exit 90; }
                [ "$made" -gt 0 ] || { echo "no lock in a folder of our own"; exit 91; } ;;
            *)
                [ "$made" = 0 ] || { echo "lock made in a folder not ours"; exit 92; }
                [ -z "$(ls -A /tmp/elsewhere 2>/dev/null)" ] || { echo "written through the link"; exit 93; } ;;
            esac' || status=$?
        await_heard rec 1 300 5 || true
        stop_recording
        [ "$status" = 0 ] || fail "lock folder $row: '!' ended with $status: $(cat "$T/lock.err")"
        [ -n "$(stretches)" ] || fail "lock folder $row: nothing heard"
    done
else
    echo "skip: lock folder rows (need root, /mnt, a private mount namespace and strace)"
fi
echo "ok"
