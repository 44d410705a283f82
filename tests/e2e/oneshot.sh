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
expect_stretches 380 1340 390 1470 170 1050
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings changed by !!"
stop_recording

# The pauses as long as the window's (0.25 s, within 30 ms), on an idle sink and on one that
# another stream keeps running. The recorder asks for no latency of its own: the idle sink
# stays at its long idle latency, where a new stream starts only after what the sink holds.
expect_pauses() {
    local got
    got=$(stretches | awk 'NR > 1 { printf "%d ", $1 - end } { end = $1 + $2 }')
    python3 - "$got" "$1" <<'PY' || fail "$2: pauses [$got], expected $1 of 250 ms"
import sys
got = [int(x) for x in sys.argv[1].split()]
sys.exit(0 if len(got) == int(sys.argv[2]) and all(abs(g - 250) <= 30 for g in got) else 1)
PY
}
for sink_state in idle running; do
    keeper=
    if [ "$sink_state" = running ]; then
        pacat --raw -d "$TIKKARU_TEST_SINK" --latency-msec=50 < /dev/zero &
        keeper=$!
        bg_pids+=($keeper)
        sleep 0.3
    fi
    for arg in '!' '!!'; do
        parec -d "$TIKKARU_TEST_SINK.monitor" --format=s16le --rate=16000 --channels=1 --raw \
            > "$T/rec.raw" 2>/dev/null &
        rec_pid=$!
        bg_pids+=($rec_pid)
        await_samples "$T/rec.raw"
        faketime -f '@2026-12-07 14:30:07' "$TIKKARU" "$arg" 3 || fail "$arg on a $sink_state sink"
        sleep 0.5
        stop_recording
        if [ "$arg" = '!' ]; then n=1; else n=3; fi
        expect_pauses $n "$arg on a $sink_state sink"
    done
    [ -z "$keeper" ] || kill "$keeper"
done

# Two at once with no window, half a second apart and then at the same moment, again and
# again (the second may find the lock before the first has written anything in it): one
# speaks, the other finds it speaking (10) and says nothing over it.
for delay in 0.5 0 0 0 0 0 0 0 0; do
    first_args=('!!' 3)
    [ "$delay" = 0 ] && first_args=('!' 3)
    start_recording
    "$TIKKARU" "${first_args[@]}" 2>"$T/first.err" &
    first=$!
    sleep "$delay"
    status=0
    "$TIKKARU" '!' 2>"$T/err" || status=$?
    first_status=0
    wait "$first" || first_status=$?
    sleep 0.5
    stop_recording
    case $delay:$first_status:$status in
    0.5:0:10 | 0:0:10 | 0:10:0) ;;
    *) fail "two at $delay s apart ended with $first_status and $status: $(cat "$T/first.err" "$T/err")" ;;
    esac
    [ "$(stretches | wc -l)" -le 4 ] || fail "two voices: $(stretches | tr '\n' ' ')"
done

# Desktop mixers see who speaks: the client's name and icon, and the stream's role.
"$TIKKARU" '!!' 2>/dev/null &
once=$!
for _ in $(seq 50); do
    pactl list sink-inputs > "$T/inputs" 2>/dev/null
    grep -q 'application.icon_name = "de.quorvane.tikkaru"' "$T/inputs" && break
    sleep 0.1
done
wait "$once" || fail "'!!' while looking at its stream"
grep -q 'media.role = "a11y"' "$T/inputs" || fail "stream without its role: $(cat "$T/inputs")"
grep -q 'application.icon_name = "de.quorvane.tikkaru"' "$T/inputs" || fail "stream without icon"
grep -q 'application.name = "Quorvane Tikkaru"' "$T/inputs" || fail "stream without name"
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
    # Into a pipe that nobody reads anymore: the same failure, not death by SIGPIPE.
    status=$( (
        { sleep 0.3; env -u DISPLAY "$TIKKARU" "$a" 2>/dev/null; echo $? >"$T/piped"; } | true
        cat "$T/piped"
    ))
    [ "$status" = 1 ] || fail "$a into a closed pipe ended with $status, not 1"
done
# Any other first argument opens the window.
"$TIKKARU" -v &
bg_pids+=($!)
window_id > /dev/null || fail "-v opened no window"
echo "ok"
