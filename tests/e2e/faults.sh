#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real clock against what goes wrong on a desktop: no sound server or one that dies in the
# middle of a sentence, a voice folder full of files that are no recordings, a settings file
# that cannot be written or a kill in the middle of writing it, a runtime folder without a
# lock, an X server that goes away. Every case ends with the clock still working (or, when
# its display is gone, ended), nothing lost and nothing hanging.
source "$(dirname "$0")/common.sh"
SOURCE=$(cd "$HERE/../.." && pwd)
conf=$XDG_CONFIG_HOME/Quorvane.conf
main_pulse=unix:${XDG_RUNTIME_DIR:?}/pulse/native
mounts=()
trap 'for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null || true; done; finish' EXIT

# Root reads and writes whatever the permission bits say; without these two capabilities it
# is held to them like anyone else.
unpriv=()
if [ "$(id -u)" = 0 ]; then
    if setpriv --bounding-set=-dac_override,-dac_read_search true 2>/dev/null; then
        unpriv=(setpriv --bounding-set=-dac_override,-dac_read_search)
    else
        echo "note: running as root without setpriv: permission cases are not tested"
    fi
fi

step() { echo "-- $*"; }

# Starts the windowed clock (arguments: environment assignments) and waits for its window.
start_clock() {
    env "$@" "${unpriv[@]}" "$TIKKARU" &
    clock_pid=$!
    bg_pids+=($clock_pid)
    win=$(window_id) || true
    [ -n "$win" ] || fail "no window"
}
# Waits up to $1 seconds for the clock to end; its exit status in $clock_status.
wait_end() {
    for _ in $(seq $(($1 * 10))); do kill -0 "$clock_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$clock_pid" 2>/dev/null && fail "clock still running after ${1} s"
    clock_status=0
    wait "$clock_pid" || clock_status=$?
}
# Esc in the window: the clock must end at once and well.
quit_clock() {
    xdotool windowfocus --sync "$win" key Escape
    wait_end 5
    [ "$clock_status" = 0 ] || fail "clock ended with status $clock_status"
}
press_enter() { xdotool windowfocus --sync "$win" key Return; }
# Presses Enter until recording $1 hears one announcement of $2 stretches or more, to its end.
# After a failure the player skips sounds for a moment before it tries a server again, and a
# server just back may not answer its first requests in time (then the player gives up again):
# an announcement meanwhile is silent or cut short, and once it has ended Enter is pressed
# again. Counting from the first sound heard would take such a rest for the announcement. Gives
# up after 20 s; the caller checks what was heard.
announce_heard() {
    local end=$((SECONDS + 20)) before
    while [ $SECONDS -lt $end ]; do
        before=$(heard "$1")
        press_enter
        for _ in $(seq 10); do [ "$(heard "$1")" -gt "$before" ] && break; sleep 0.1; done
        [ "$(heard "$1")" -gt "$before" ] || continue
        await_heard "$1" $((before + $2)) 500 8 && return 0
    done
    return 1
}
settings() { printf '[Tikkaru]\n' > "$conf"; printf '%s\n' "$@" >> "$conf"; }

# ---- the sound server ---------------------------------------------------------------------

# Speaking once with $1 as the sound server must end within 10 s with status $2 and one line
# on stderr.
once_fails() {
    local status=0
    timeout 10 env PULSE_SERVER="$1" "$TIKKARU" '!!' 2>"$T/once.err" || status=$?
    [ "$status" = "$2" ] || fail "'!!' with server $1 ended with $status, not $2"
    [ "$(wc -l < "$T/once.err")" = 1 ] || fail "'!!' with server $1 said: $(cat "$T/once.err")"
}

step "no sound server: speaking once and the window do not wait for one"
nowhere=unix:$T/nowhere/native
once_fails "$nowhere" 3
# With stderr a pipe nobody reads anymore, the status still tells it.
piped=$(python3 -c 'import os, subprocess, sys
r, w = os.pipe()
os.close(r)
print(subprocess.run(sys.argv[1:], stderr=w).returncode)' env PULSE_SERVER="$nowhere" "$TIKKARU" '!')
[ "$piped" = 3 ] || fail "'!' with a closed stderr pipe ended with $piped, not 3"
# A socket that nobody listens on refuses the connection.
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$T/refusing"
once_fails "unix:$T/refusing" 3
settings "Mode=1"
start_clock PULSE_SERVER="$nowhere"
press_enter
sleep 1.5
press_enter
sleep 1
quit_clock
grep -q '^Mode=1' "$conf" || fail "settings not written without a sound server"

step "sound server killed in the middle of a sentence and started again"
pa_dir=$T/pa
mkdir -p "$pa_dir"
start_server() {
    start_pulse "$pa_dir/native" faults_null "$pa_dir/log" || fail "own sound server did not start"
    pa_pid=$pulse_pid
}
start_server
settings "Mode=1"
start_clock PULSE_SERVER="unix:$pa_dir/native"
record killed faults_null "unix:$pa_dir/native"
press_enter
# Killed as soon as the sentence is heard, while most of it is still to come.
for _ in $(seq 50); do [ "$(heard killed)" -ge 1 ] && break; sleep 0.1; done
kill -KILL "$pa_pid"
{ wait "$pa_pid"; } 2>/dev/null || true
stop_recording
[ "$(heard killed)" -ge 1 ] || fail "nothing heard before the server was killed"
sleep 3
kill -0 "$clock_pid" 2>/dev/null || fail "clock ended with its sound server"
start_server
record again faults_null "unix:$pa_dir/native"
# " Es ist ~ ... Uhr ... ~ und ~ ... Sekunden.": four stretches.
announce_heard again 3 || fail "the next announcement was not heard ($(heard again) stretches)"
stop_recording
quit_clock

step "speaking once, sound server killed in the middle of the sentence"
record once faults_null "unix:$pa_dir/native"
env PULSE_SERVER="unix:$pa_dir/native" "$TIKKARU" '!!' 2>"$T/once.err" &
once_pid=$!
for _ in $(seq 50); do [ "$(heard once)" -ge 1 ] && break; sleep 0.1; done
kill -KILL "$pa_pid"
{ wait "$pa_pid"; } 2>/dev/null || true
stop_recording
for _ in $(seq 100); do kill -0 "$once_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$once_pid" 2>/dev/null && fail "'!!' still running 10 s after its server was killed"
once_status=0
wait "$once_pid" || once_status=$?
[ "$once_status" = 5 ] || fail "'!!' ended with $once_status when its server was killed"
[ "$(wc -l < "$T/once.err")" = 1 ] || fail "'!!' said: $(cat "$T/once.err")"

step "sound server frozen (SIGSTOP) in the middle of a sentence"
start_server
settings "Mode=1" "Sekunden=1"
start_clock PULSE_SERVER="unix:$pa_dir/native"
record frozen faults_null "unix:$pa_dir/native"
press_enter
for _ in $(seq 50); do [ "$(heard frozen)" -ge 1 ] && break; sleep 0.1; done
kill -STOP "$pa_pid"
# The announcement is given up and the window goes on: its digits change, two pictures a
# little over a second apart differ (within 10 s).
end=$((SECONDS + 10))
while :; do
    import -window "$win" "$T/frozen1.png"
    sleep 1.1
    import -window "$win" "$T/frozen2.png"
    cmp -s "$T/frozen1.png" "$T/frozen2.png" || break
    [ $SECONDS -lt $end ] || fail "the window stopped with its sound server"
done
# Esc during a sentence that the frozen server cannot play ends the clock well and soon.
press_enter
sleep 0.3
xdotool windowfocus --sync "$win" key Escape
wait_end 2
[ "$clock_status" = 0 ] || fail "Esc with a frozen server: status $clock_status"
grep -q '^Sekunden=1' "$conf" || fail "settings not written with a frozen server"
# SIGTERM alike.
settings "Mode=1"
start_clock PULSE_SERVER="unix:$pa_dir/native"
press_enter
sleep 0.3
kill -TERM "$clock_pid"
wait_end 2
grep -q '^WinLeft=' "$conf" || fail "SIGTERM with a frozen server did not write the settings"
# Speaking once gives up too.
once_fails "unix:$pa_dir/native" 4
# Once the server goes on, a later announcement is heard.
settings "Mode=1"
start_clock PULSE_SERVER="unix:$pa_dir/native"
press_enter
sleep 1.5
kill -CONT "$pa_pid"
record thawed faults_null "unix:$pa_dir/native"
announce_heard thawed 3 || fail "no whole announcement heard after the server went on ($(heard thawed))"
stop_recording
quit_clock
kill "$pa_pid" 2>/dev/null || true

# ---- the voice folder -----------------------------------------------------------------------

# A folder of the external voice where most pieces are something else than a recording.
wav() { cp "$SOURCE/data/voices/1/$1.wav" "$2"; }
# A PCM WAV header: header FILE CHANNELS RATE DATABYTES RIFFBYTES, then real samples.
header() {
    python3 - "$@" <<'PY'
import struct, sys
path, ch, rate, data, riff, real = sys.argv[1], *map(int, sys.argv[2:])
fmt = struct.pack("<HHIIHH", 1, ch, rate, rate * max(ch, 1) * 2, max(ch, 1) * 2, 16)
with open(path, "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", riff) + b"WAVE")
    f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
    f.write(b"data" + struct.pack("<I", data))
    f.write(bytes((i * 37) % 251 for i in range(real)))
PY
}
# make_fault KIND PATH: one kind of file that is no playable recording.
make_fault() {
    case $1 in
    fifo) mkfifo "$2" ;;
    directory) mkdir "$2" ;;
    loop) ln -s "$(basename "$2")" "$2" ;;
    unreadable) wav IST "$2" && chmod 000 "$2" ;;
    random) head -c 6000 /dev/urandom > "$2" ;;
    truncated) wav ZWOELF "$2" && truncate -s 2000 "$2" ;;
    4gb) header "$2" 1 22050 4294967040 4294967290 4000 ;;
    channels0) header "$2" 0 22050 4000 4036 4000 ;;
    rate0) header "$2" 1 0 4000 4036 4000 ;;
    esac
}
kinds=(fifo directory loop unreadable random truncated 4gb channels0 rate0)

step "voice folder: pieces that are no recordings are silence, the others are heard"
mkdir DATA
wav ES DATA/es.wav
# 12:34:56 with seconds: es ist zwoelf uhr vier un drei ssig und sechs un fuenf zig sekunden.
pieces=(ist zwoelf uhr vier un drei ssig und sechs)
for i in "${!kinds[@]}"; do make_fault "${kinds[$i]}" "DATA/${pieces[$i]}.wav"; done
wav FUENF DATA/fuenf.wav
wav ZIG DATA/zig.wav
wav SEKUNDEN DATA/sekunden.wav
if [ ${#unpriv[@]} -gt 0 ] || [ "$(id -u)" != 0 ]; then
    "${unpriv[@]}" cat DATA/vier.wav >/dev/null 2>&1 && fail "the unreadable file can be read"
fi
record folder "$TIKKARU_TEST_SINK"
# It says that not every piece could be played.
folder_status=0
timeout 15 "${unpriv[@]}" faketime -f '@2026-12-07 12:34:56' "$TIKKARU" '!!' 5 2>"$T/folder.err" ||
    folder_status=$?
[ "$folder_status" = 6 ] && [ "$(wc -l < "$T/folder.err")" = 1 ] ||
    fail "'!!' with the damaged voice folder ended with $folder_status: $(cat "$T/folder.err")"
await_heard folder 3 300 5 || true
stop_recording
# "Es" alone, then "fuenf-zig Sekunden": the damaged pieces between them are silence.
# "Es"; after the pause the short sound of the truncated file and what the 4 GB header really
# holds; after two pauses "fuenf-zig Sekunden". The other damaged pieces are silence.
lengths=$(python3 "$HERE/segments.py" "$T/folder.raw" | awk '{print $2}' | tr '\n' ' ')
read -r -a got <<< "$lengths"
[ ${#got[@]} = 3 ] && [ "${got[1]}" -lt 300 ] && [ "${got[2]}" -gt 1000 ] ||
    fail "damaged voice folder: stretches [$lengths]"
"${unpriv[@]}" timeout 10 "$TIKKARU" --check-voice > "$T/check.txt" && fail "--check-voice found no fault"
[ "$(grep -c 'ok' "$T/check.txt")" -ge 4 ] || fail "--check-voice: $(cat "$T/check.txt")"

step "voice folder: es.wav itself damaged, speaking once"
for kind in "${kinds[@]}"; do
    rm -rf DATA/es.wav
    make_fault "$kind" DATA/es.wav
    status=0
    timeout 10 env PULSE_SERVER="$nowhere" "${unpriv[@]}" "$TIKKARU" '!' 5 2>/dev/null ||
        status=$?
    # No server, or first a recording that cannot be played.
    case $status in 3 | 6) ;; *) fail "'!' 5 with es.wav $kind ended with $status" ;; esac
done

step "voice folder on a sink at its idle latency: mixed rates, and es.wav alone"
# A server of its own with nothing attached to its sink, which so renders seconds ahead.
start_server
sleep 1
rm -rf DATA && mkdir DATA
for p in $(awk -F'\t' '$1 == "piece" { print $2 }' "$SOURCE/data/voices/catalogue.tsv"); do
    wav "$p" "DATA/${p,,}.wav"
done
sox "$SOURCE/data/voices/1/IST.wav" -r 44100 DATA/ist.wav
# voice folder          time                    status  stderr
# (a piece there but no readable file is a recording that cannot be played, not a missing one)
rows="mixed   2026-12-07_14:30:07 0 -
ist-a-folder 2026-12-07_14:30:07 6 ^tikkaru: eine Aufnahme ließ sich nicht abspielen
es-only 2026-12-07_14:30:07 9 ^tikkaru: .*stumm: ist, vier, zehn, uhr, drei, ssig\.$"
while read -r voice when want line; do
    case $voice in
    ist-a-folder) rm DATA/ist.wav && mkdir DATA/ist.wav ;;
    es-only) find DATA -mindepth 1 ! -name es.wav -exec rm -rf {} + ;;
    esac
    status=0
    timeout 20 env PULSE_SERVER="unix:$pa_dir/native" faketime -f "@${when/_/ }" "$TIKKARU" '!' 5 \
        2>"$T/idle.err" || status=$?
    [ "$status" = "$want" ] || fail "'!' 5 with the $voice voice ended $status: $(cat "$T/idle.err")"
    if [ "$line" = - ]; then
        [ ! -s "$T/idle.err" ]
    else
        [ "$(wc -l < "$T/idle.err")" = 1 ] && grep -qE "$line" "$T/idle.err"
    fi || fail "'!' 5 with the $voice voice said: $(cat "$T/idle.err")"
done <<< "$rows"
kill "$pa_pid" 2>/dev/null || true
rm -rf DATA

step "voice folder: files vanish and come back while the clock speaks them"
rm -rf DATA && mkdir DATA
for p in $(awk -F'\t' '$1 == "piece" { print $2 }' "$SOURCE/data/voices/catalogue.tsv"); do
    wav "$p" "DATA/${p,,}.wav"
done
settings "Mode=2" "Voice=4"
start_clock
(
    end=$((SECONDS + 6))
    while [ $SECONDS -lt $end ]; do
        for f in DATA/*.wav; do mv "$f" "$f.weg" && mv "$f.weg" "$f"; done
    done
) &
flicker=$!
bg_pids+=($flicker)
wait "$flicker"
kill -0 "$clock_pid" 2>/dev/null || fail "clock ended while its files came and went"
quit_clock
grep -q "^Voice=4" "$conf" && grep -q "^Mode=2" "$conf" || fail "settings after the flicker: $(cat "$conf")"
rm -rf DATA

# ---- the settings file ------------------------------------------------------------------------

old="Mode=1
Sekunden=0
WinLeft=40"
step "settings folder read-only: the clock runs and ends, the old file stays"
if [ "$(id -u)" = 0 ] && [ ${#unpriv[@]} = 0 ]; then
    echo "skip: root without setpriv ignores a read-only folder"
else
    settings "$old"
    before=$(md5sum < "$conf")
    chmod 555 "$XDG_CONFIG_HOME"
    start_clock
    quit_clock
    chmod 755 "$XDG_CONFIG_HOME"
    [ "$(md5sum < "$conf")" = "$before" ] || fail "settings file changed in a read-only folder"
fi

step "settings on a full disk: the clock runs and ends, the old file stays whole"
full=$T/full
mkdir -p "$full"
if mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
    mounts+=("$full")
    printf '[Tikkaru]\n%s\n' "$old" > "$full/Quorvane.conf"
    before=$(md5sum < "$full/Quorvane.conf")
    dd if=/dev/zero of="$full/fill" bs=4k 2>/dev/null || true
    start_clock XDG_CONFIG_HOME="$full"
    quit_clock
    [ "$(md5sum < "$full/Quorvane.conf")" = "$before" ] || fail "settings file damaged on a full disk"
    umount -l "$full"
else
    echo "skip: full disk (cannot mount a small tmpfs here)"
fi

step "killed while the settings are being written: the old file stays whole"
if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
    settings "$old"
    before=$(md5sum < "$conf")
    # The new file is written, then held for 5 s before it replaces the old one.
    strace -f -qq -o "$T/strace.log" -e trace=rename,renameat,renameat2 \
        -e inject=rename,renameat,renameat2:delay_enter=5000000 "$TIKKARU" 2>/dev/null &
    tracer=$!
    bg_pids+=($tracer)
    win=$(timeout 10 xdotool search --sync --name '^Quorvane Tikkaru' | head -n1) || true
    [ -n "$win" ] || fail "no window under strace"
    clock_pid=$(pgrep -P "$tracer" | head -n1)
    xdotool windowfocus --sync "$win" key Escape
    for _ in $(seq 50); do grep -q 'rename' "$T/strace.log" && break; sleep 0.1; done
    grep -q 'rename' "$T/strace.log" || fail "the settings were not written under strace"
    kill -KILL "$clock_pid"
    wait "$tracer" 2>/dev/null || true
    [ "$(md5sum < "$conf")" = "$before" ] || fail "settings file damaged by SIGKILL while written"
    # The next start reads the old settings and writes new ones, also past the kill's leftovers.
    start_clock
    quit_clock
    grep -q '^Sekunden=1' "$conf" && grep -q '^Mode=1' "$conf" ||
        fail "settings not written after the killed write: $(cat "$conf")"
else
    echo "skip: SIGKILL during the write (strace missing or not allowed here)"
fi

step "settings file a FIFO or a link to a device node: the clock starts and ends, the node stays"
for kind in fifo device; do
    rm -f "$conf" "$T/node"
    case $kind in
    fifo) mkfifo "$conf" ;;
    device)
        mknod "$T/node" c 1 3 2>/dev/null || { echo "skip: mknod needs root"; continue; }
        ln -s "$T/node" "$conf"
        ;;
    esac
    # Type, major:minor and inode of the name and of what it leads to.
    before="$(stat -c '%F %i' "$conf") $(stat -L -c '%F %t:%T %i' "$conf")"
    status=0
    timeout 10 env PULSE_SERVER="$nowhere" "$TIKKARU" '!' 2>/dev/null || status=$?
    [ "$status" = 3 ] || fail "'!' with the settings file a $kind ended with $status"
    start_clock
    kill -TERM "$clock_pid"
    wait_end 5
    after="$(stat -c '%F %i' "$conf") $(stat -L -c '%F %t:%T %i' "$conf")"
    [ "$after" = "$before" ] || fail "settings file a $kind: [$before] became [$after]"
done
rm -f "$conf" "$T/node"

# ---- the lock ------------------------------------------------------------------------------

step "runtime folder missing or read-only: the clock starts without a lock"
settings "Mode=1"
start_clock XDG_RUNTIME_DIR="$T/missing" PULSE_SERVER="$main_pulse"
quit_clock
if [ "$(id -u)" != 0 ] || [ ${#unpriv[@]} -gt 0 ]; then
    mkdir -m 500 "$T/rorun"
    start_clock XDG_RUNTIME_DIR="$T/rorun" PULSE_SERVER="$main_pulse"
    quit_clock
    [ -e "$T/rorun/tikkaru.lock" ] && fail "lock made in a read-only folder"
fi

# ---- the X server ----------------------------------------------------------------------------

step "X server gone while the clock runs, idle and in the middle of a sentence"
for when in idle speaking; do
    start_xvfb "$T" || fail "no second X server"
    xpid=$xvfb_pid
    own=$xvfb_display
    settings "$old"
    before=$(md5sum < "$conf")
    DISPLAY=$own "${unpriv[@]}" "$TIKKARU" 2>"$T/x.err" &
    clock_pid=$!
    bg_pids+=($clock_pid)
    win=$(DISPLAY=$own timeout 10 xdotool search --sync --name '^Quorvane Tikkaru' | head -n1) ||
        true
    [ -n "$win" ] || fail "no window on the second X server"
    if [ "$when" = speaking ]; then
        DISPLAY=$own xdotool windowfocus --sync "$win" key Return
        sleep 0.4
    fi
    kill -KILL "$xpid"
    { wait "$xpid"; } 2>/dev/null || true
    wait_end 10
    [ "$(md5sum < "$conf")" = "$before" ] || fail "settings changed when the X server went ($when)"
    ! grep -q 'Sanitizer' "$T/x.err" || fail "sanitizer report when the X server went: $(cat "$T/x.err")"
    # The clock is not left locked out: the next start on the test display works.
    start_clock
    quit_clock
done

echo "ok"
