#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One copy at a time: a second copy ends at once without a window or a sound, also with "!"
# (whose status then says that nothing was said);
# SIGTERM keeps the settings; a lock left by a killed copy does not block the next start.
source "$(dirname "$0")/common.sh"
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
echo "ok"
