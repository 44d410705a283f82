#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real clock under a fake time a few seconds before a full minute, in every-minute mode:
# the full minute is spoken once, Enter speaks again, Esc ends and keeps the settings.
source "$(dirname "$0")/common.sh"

start_recording
faketime -f '@2026-12-07 12:33:57' "$TIKKARU" &
clock_pid=$!
bg_pids+=($clock_pid)
win=$(window_id) || fail "no window"
[ -n "$win" ] || fail "no window"

# " Es ist ~ zwoelf  Uhr  vier-un-drei-ssig." in voice 1: "Es ist", a pause, the rest; then
# quiet long enough that a second announcement of the same minute would have been heard.
await_heard rec 2 2000 20 || true
expect_stretches 390 1450

xdotool windowfocus --sync "$win" key Return
await_heard rec 4 1500 15 || true
expect_stretches 390 1450 390 1450

xdotool windowfocus --sync "$win" key Escape
for _ in $(seq 50); do kill -0 "$clock_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$clock_pid" 2>/dev/null && fail "still running after Esc"
grep -q '^Mode=3' "$XDG_CONFIG_HOME/Quorvane.conf" || fail "settings not written"
echo "ok"
