#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speaking once: the voice argument, the seconds, no display at all, and the settings file
# left as it was.
source "$(dirname "$0")/common.sh"

conf=$XDG_CONFIG_HOME/Quorvane.conf
printf '[Tikkaru]\nVoice=0\nMode=2\nSekunden=1\nWinLeft=7\n' > "$conf"
before=$(md5sum < "$conf")
start_recording

# 14:30:07, "!" with voice 3: " Es ist ~ vier-zehn  Uhr  drei-ssig."
faketime -f '@2026-12-07 14:30:07' "$TIKKARU" '!' 3 2>"$T/err" || fail "! 3 failed"
[ ! -s "$T/err" ] || fail "! 3 wrote to stderr: $(cat "$T/err")"
sleep 0.5
expect_stretches 370 1290
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings changed by !"

# "!!" and voice 1, with no display: the seconds after a pause of their own.
# " Es ist ~ vier-zehn  Uhr  drei-ssig ~ und ~ sieben  Sekunden."
env -u DISPLAY -u WAYLAND_DISPLAY faketime -f '@2026-12-07 14:30:07' "$TIKKARU" '!!' 1 \
    || fail "!! without display failed"
sleep 0.5
expect_stretches 370 1290 350 1360 230 1020
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings changed by !!"
# --help and --version answer on stdout, with no display, touching neither settings nor lock.
export XDG_RUNTIME_DIR=$T/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
env -u DISPLAY "$TIKKARU" --help | grep -q '^Aufruf: tikkaru' || fail "--help"
[ "$(env -u DISPLAY "$TIKKARU" --version)" = "tikkaru 1.00" ] || fail "--version"
[ -z "$(ls -A "$XDG_RUNTIME_DIR")" ] || fail "--help or --version took the lock"
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings changed by --help or --version"
# -h and -V are --help and --version. Output that cannot be written fails, with a line on
# stderr: also the check of a voice that plays in full.
[ "$(env -u DISPLAY "$TIKKARU" -h)" = "$(env -u DISPLAY "$TIKKARU" --help)" ] || fail "-h"
[ "$(env -u DISPLAY "$TIKKARU" -V)" = "tikkaru 1.00" ] || fail "-V"
mkdir DATA
for f in "$HERE"/../../data/voices/1/*.wav; do
    n=${f##*/}
    cp "$f" "DATA/${n,,}"
done
env -u DISPLAY "$TIKKARU" --check-voice > /dev/null || fail "--check-voice of a whole voice"
for a in --help -h --version -V --check-voice; do
    if env -u DISPLAY "$TIKKARU" "$a" > /dev/full 2> "$T/err"; then
        fail "$a > /dev/full exits 0"
    fi
    grep -q 'ließ sich nicht schreiben' "$T/err" || fail "$a > /dev/full says nothing"
done
# Any other first argument opens the window.
"$TIKKARU" -v &
bg_pids+=($!)
window_id > /dev/null || fail "-v opened no window"
echo "ok"
