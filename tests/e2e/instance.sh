#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One copy at a time: a second copy never opens a second window nor speaks itself. A plain
# second start ends at once; "!" and "!!" hand their request over to the running window over
# the session bus, which speaks it once and reports the status (9 when pieces stayed silent,
# 10 while it speaks already, 7 when it does not answer, 8 when it is cut off), also from
# cron's environment without the bus's address. A malformed request changes nothing. A bus
# that never answers holds a request no longer than the bound; the window takes its name again
# on a restarted bus and once another process lets it go. SIGTERM keeps the settings; a killed
# copy, or a lock file left empty or garbled, blocks no start; a request that wants no answer
# is spoken. Without XDG_RUNTIME_DIR the window's lock is found in /run/user/UID, and a lock
# folder in /tmp that is not the user's own is not used.
source "$(dirname "$0")/common.sh"
# The test sound server, found by its socket also where no runtime folder is set.
test_server=unix:${PULSE_RUNTIME_PATH:-$XDG_RUNTIME_DIR/pulse}/native
# The user's bus where the session has it, found there when the address is not given.
private_session
conf=$XDG_CONFIG_HOME/Quorvane.conf
# Manual mode, so that the first copy stays silent whenever the test runs.
printf '[Tikkaru]\nMode=1\n' > "$conf"
before=$(md5sum < "$conf")

clock() { busctl --user call org.quorvane.Tikkaru / org.quorvane.Tikkaru "$@"; }
# The window's digits and sentence as it shows them now: "ss "12:30:07" " Es ist ..."".
shown() { clock Anzeige 2>/dev/null || true; }

# The clock's folder offers an external voice that holds "es" alone.
mkdir -p "$T/uhr/DATA" && cp "$HERE/../../data/voices/1/ES.wav" "$T/uhr/DATA/es.wav"
(cd "$T/uhr" && exec "$TIKKARU") &
first=$!
bg_pids+=($first)
win=$(window_id) || fail "no window"
for _ in $(seq 50); do clock Version >/dev/null 2>&1 && break; sleep 0.1; done
clock Version >/dev/null || fail "the window took no name on the session bus"
# Manual mode checks the seconds box; unchecked, the seconds heard are the request's own.
xdotool windowfocus --sync "$win" key alt+k
sleep 1.5 # the display follows at the next second
case $(shown) in *Sekunde*) fail "seconds box still checked: $(shown)" ;; esac

timeout 5 "$TIKKARU" || fail "second copy did not end at once"
sleep 0.5
[ "$(xdotool search --name '^Quorvane Tikkaru' | wc -l)" = 1 ] || fail "second window"

# Speaks the time once as a copy of its own that finds no running clock (its own runtime
# folder and no bus), at the digits $1, into recording ref: what one sentence sounds like.
reference() {
    mkdir -p -m 700 "$T/alone"
    record ref "$TIKKARU_TEST_SINK"
    XDG_RUNTIME_DIR=$T/alone env -u DBUS_SESSION_BUS_ADDRESS \
        faketime -f "@2026-12-07 $1" "$TIKKARU" "${@:2}" || fail "reference $* failed"
    sleep 0.5
    stop_recording
}

# Case $1: runs "tikkaru $3..." beside the window from the environment env $2 ("" or a list
# of -u NAME), expects status 0, the sentence with the seconds in the window's box exactly
# when $3 is "!!", and one sentence in the window's voice heard. $during runs once the
# window speaks.
handover() {
    local name=$1 envs=$2 status=0 seen="" t
    shift 2
    start_recording
    # shellcheck disable=SC2086
    env $envs "$TIKKARU" "$@" 2>"$T/err" &
    local second=$!
    # The sentence being spoken carries its pauses ("~"); the one shown between announcements
    # does not.
    for _ in $(seq 40); do
        t=$(shown)
        case $t in *"~"*) seen=$t ;; esac
        if [ -n "$seen" ]; then
            ${during:-true}
            break
        fi
        kill -0 "$second" 2>/dev/null || break
        sleep 0.1
    done
    wait "$second" || status=$?
    sleep 0.5
    stop_recording
    [ "$status" = 0 ] || fail "$name: ended with $status: $(cat "$T/err")"
    [ -n "$seen" ] || fail "$name: the window showed no sentence being spoken"
    # At second 0 "!!" says no seconds either.
    case $seen in *Sekunde*) [ "$1" = '!!' ] ;; *':00" '*) true ;; *) [ "$1" = '!' ] ;; esac ||
        fail "$name: the window showed [$seen]"
    # The same sentence spoken alone, at the digits it was spoken at (at a full minute the
    # copy alone, in its minute mode, would leave the seconds out).
    local tz
    tz=$(sed -n 's/^ss "\([0-9:]*\)".*/\1/p' <<<"$seen")
    if [ "${tz##*:}" != 00 ]; then
        reference "$tz" "$@"
        # As much sound as the sentence alone, in about as many stretches: not twice, not two
        # voices over each other. (A piece may start late on a busy machine and split a
        # stretch, so the stretches are not compared one by one.)
        python3 - "$T/rec.raw" "$T/ref.raw" "$HERE/segments.py" <<'PY' ||
import subprocess, sys
def lengths(raw):
    out = subprocess.run([sys.executable, sys.argv[3], raw], capture_output=True, text=True)
    return [int(line.split()[1]) for line in out.stdout.split("\n") if line.strip()]
got, want = lengths(sys.argv[1]), lengths(sys.argv[2])
print("heard", got, "alone", want)
ok = want and abs(sum(got) - sum(want)) <= 0.12 * sum(want) and abs(len(got) - len(want)) <= 1
sys.exit(0 if ok else 1)
PY
            fail "$name: not the sentence once"
    fi
    case $(shown) in *Sekunde*) fail "$name: the seconds box was changed" ;; esac
}

handover "!! beside the window" "" '!!'
handover "! 3 from cron's environment" "-u DBUS_SESSION_BUS_ADDRESS" '!' 3

# While the window speaks, a request is answered at once as busy, and nothing more is heard.
busy_request() {
    local status=0 start took
    start=$(date +%s%N)
    timeout 5 "$TIKKARU" '!' 2>"$T/busy" || status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$status" = 10 ] || fail "request while speaking ended with $status, not 10"
    [ "$took" -lt 1500 ] || fail "the busy answer took $took ms"
    grep -q 'gerade' "$T/busy" || fail "busy: no reason given"
}
during=busy_request handover "!! with a request while it speaks" "" '!!'

# A request in that external voice: the clock speaks what it has, and the copy ends with the
# clock's status (pieces stayed silent), not as if the clock had not answered.
status=0
timeout 20 "$TIKKARU" '!' 5 2>"$T/err" || status=$?
[ "$status" = 9 ] || fail "request in a voice with missing pieces ended with $status: $(cat "$T/err")"
# The caller names the pieces that stayed silent, as speaking alone does.
grep -q 'stumm: ist, ' "$T/err" || fail "missing pieces not named: $(cat "$T/err")"

# A request that wants no answer is spoken all the same: dbus-send without --print-reply sends
# it as a signal, busctl --expect-reply=no as a call flagged so.
for sender in "dbus-send --session --dest=org.quorvane.Tikkaru / org.quorvane.Tikkaru.Ansage \
boolean:false int32:0" "busctl --user --expect-reply=no call org.quorvane.Tikkaru / \
org.quorvane.Tikkaru Ansage bi false 0"; do
    start_recording
    $sender || fail "no-reply request not sent: $sender"
    await_heard rec 2 500 10 || fail "no-reply request not spoken: $sender"
    stop_recording
done

# Malformed and oversized requests are refused and change nothing.
sleep 0.5
start_recording
clock Ansage s garbage 2>/dev/null && fail "a string taken for the request"
clock Ansage bi true 99 2>/dev/null && fail "voice 99 taken"
clock Ansage bi false -1 2>/dev/null && fail "voice -1 taken"
clock Ansage bis true 1 x 2>/dev/null && fail "an extra argument taken"
clock Zeigen s "$(head -c 200000 /dev/zero | tr '\0' x)" 2>/dev/null && fail "an oversized token taken"
dbus-send --session --print-reply --dest=org.quorvane.Tikkaru / org.quorvane.Tikkaru.Ansage \
    array:byte:1,2,3 >/dev/null 2>&1 && fail "an array taken for the request"
sleep 1
kill -0 "$first" || fail "a malformed request ended the window"
clock Version >/dev/null || fail "the window stopped answering after malformed requests"
[ -z "$(stretches)" ] || fail "a malformed request made a sound"
stop_recording

# A clock that does not answer: status 7 within the bound, nothing said.
kill -STOP "$first"
status=0
start=$(date +%s%N)
timeout 10 "$TIKKARU" '!' 2>"$T/err" || status=$?
took=$((($(date +%s%N) - start) / 1000000))
kill -CONT "$first"
[ "$status" = 7 ] || fail "request to a stopped window ended with $status, not 7"
[ "$took" -lt 3500 ] || fail "the stopped window held the request for $took ms"
grep -q 'andere Kopie' "$T/err" || fail "second copy with ! did not say why"
[ "$(md5sum < "$conf")" = "$before" ] || fail "settings written by a second copy"

# A request that waited while the window hung, and whose caller gave up meanwhile: the window
# does not speak it late.
start_recording
kill -STOP "$first"
timeout 1 busctl --user call org.quorvane.Tikkaru / org.quorvane.Tikkaru Ansage bi false 0 \
    >/dev/null 2>&1 || true
kill -CONT "$first"
sleep 2
[ -z "$(stretches)" ] || fail "a request whose caller had gone was spoken late"
stop_recording

# Cut off while the window speaks a handed-over request, each row a cause: the caller ends
# with 8 within the bound (ms): at once at a signal to it or when the window ends in the
# middle of the sentence, within 15 s of its request when the window hangs.
#        cause       bound  what happens once the window speaks
cuts="sigint-to-caller   1500  kill -INT \$second
sigterm-to-caller  1500  kill -TERM \$second
window-frozen      17000 kill -STOP \$first
window-killed      1500  kill -KILL \$first"
while read -r cause bound action; do
    "$TIKKARU" '!!' 2>"$T/err" &
    second=$!
    for _ in $(seq 40); do case $(shown) in *"~"*) break ;; esac; sleep 0.1; done
    eval "$action"
    start=$(date +%s%N)
    status=0
    wait "$second" || status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$status" = 8 ] || fail "$cause: the caller ended with $status, not 8: $(cat "$T/err")"
    [ "$took" -lt "$bound" ] || fail "$cause: the caller took $took ms to end"
    # Thawed long after its time, the window leaves the stale rest of the sentence unsaid.
    [ "$cause" = window-frozen ] && start_recording
    kill -CONT "$first" 2>/dev/null || true # (gone in the row that kills it)
    if [ "$cause" = window-frozen ]; then
        sleep 3
        stop_recording
        [ -z "$(stretches)" ] || fail "$cause: the stale rest was spoken: $(stretches | tr '\n' ' ')"
    fi
    if [ "$cause" = window-killed ]; then
        wait "$first" 2>/dev/null || true
        (cd "$T/uhr" && exec "$TIKKARU") &
        first=$!
        bg_pids+=($first)
        window_id >/dev/null || fail "no window after $cause"
    fi
    # The window ends its sentence before the next row.
    for _ in $(seq 100); do
        t=$(shown)
        [ -n "$t" ] && case $t in *"~"*) false ;; esac && break
        sleep 0.1
    done
done <<< "$cuts"

# A request arriving while the clock ends is harmless: the clock ends and keeps its settings.
kill -TERM "$first"
clock Ansage bi false 0 >/dev/null 2>&1 &
for _ in $(seq 50); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
kill -0 "$first" 2>/dev/null && fail "SIGTERM did not end the clock"
grep -q '^WinLeft=' "$conf" && grep -q '^Mode=1' "$conf" || fail "SIGTERM did not write the settings"

# A lock file with no process behind it keeps no clock from starting, whatever it holds: the
# process id of a killed copy (whose name on the bus goes with it), nothing (a copy killed
# before it wrote its lock), a longer text than the new holder's, or garbage. '!' speaks
# alone, and the window starts, takes its name and leaves its own words in the lock, whole.
for left in killed empty longer garbage; do
    case $left in
    killed)
        "$TIKKARU" &
        killed=$!
        window_id >/dev/null || fail "no window after restart"
        kill -KILL "$killed"
        wait "$killed" 2>/dev/null || true
        ;;
    empty) : >"$XDG_RUNTIME_DIR/tikkaru.lock" ;;
    longer) printf '4999999\ntikkaru\n%s.a.much.longer.name\n' "$(hostname)" \
        >"$XDG_RUNTIME_DIR/tikkaru.lock" ;;
    garbage) echo xyz >"$XDG_RUNTIME_DIR/tikkaru.lock" ;;
    esac
    [ -e "$XDG_RUNTIME_DIR/tikkaru.lock" ] || fail "lock $left: no lock file left to test"
    status=0
    timeout 20 "$TIKKARU" '!' 2>"$T/err" || status=$?
    [ "$status" = 0 ] || fail "lock $left: '!' ended with $status: $(cat "$T/err")"
    "$TIKKARU" &
    clock_pid=$!
    bg_pids+=($clock_pid)
    window_id >/dev/null || fail "lock $left blocked the start"
    for _ in $(seq 50); do clock Version >/dev/null 2>&1 && break; sleep 0.1; done
    clock Version >/dev/null || fail "lock $left: the window took no name"
    [ "$(cat "$XDG_RUNTIME_DIR/tikkaru.lock")" = "$(printf '%s\ntikkaru\n%s' "$clock_pid" "$(hostname)")" ] ||
        fail "lock $left: the window's lock holds: $(cat "$XDG_RUNTIME_DIR/tikkaru.lock")"
    if [ "$left" != garbage ]; then
        kill "$clock_pid"
        wait "$clock_pid" 2>/dev/null || true
    fi
done

# The session bus frozen (it takes connections and never answers): '!' ends with 7 within the
# bound, and at once with 8 on SIGTERM; a plain second start ends within the bound too, and a
# first window (a runtime folder of its own), which waits for the bus as it starts, ends at
# once with 0 on SIGTERM. Then the bus ends and another starts at its place: the window takes its name again, and a request
# is spoken.
kill -STOP "$dbus_pid"
mkdir -m 700 "$T/first"
for row in bound sigterm plain first-sigterm; do
    args=('!')
    envs=()
    case $row in plain) args=() ;; first-sigterm) args=() envs=(XDG_RUNTIME_DIR="$T/first") ;; esac
    env "${envs[@]}" "$TIKKARU" "${args[@]}" 2>"$T/err" &
    second=$!
    case $row in *sigterm) sleep 0.5 && kill -TERM "$second" ;; esac
    start=$(date +%s%N)
    for _ in $(seq 60); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$second" 2>/dev/null && { kill -KILL "$second"; fail "frozen bus, $row: still running"; }
    took=$((($(date +%s%N) - start) / 1000000))
    status=0
    wait "$second" || status=$?
    case $row in
    bound) [ "$status" = 7 ] && [ "$took" -lt 3500 ] ;;
    sigterm) [ "$status" = 8 ] && [ "$took" -lt 1000 ] ;;
    plain) [ "$status" = 0 ] && [ "$took" -lt 3500 ] ;;
    first-sigterm) [ "$status" = 0 ] && [ "$took" -lt 1000 ] ;;
    esac || fail "frozen bus, $row: ended with $status after $took ms: $(cat "$T/err")"
done
kill -CONT "$dbus_pid"
kill "$dbus_pid"
wait "$dbus_pid" 2>/dev/null || true
start_dbus "$XDG_RUNTIME_DIR/bus" || fail "no second session bus"
for _ in $(seq 80); do clock Version >/dev/null 2>&1 && break; sleep 0.1; done
clock Version >/dev/null || fail "the window did not take its name on the restarted bus"
status=0
timeout 20 "$TIKKARU" '!' 2>"$T/err" || status=$?
[ "$status" = 0 ] || fail "'!' on the restarted bus ended with $status: $(cat "$T/err")"

# The bus ends and a socket that takes connections and never answers takes its place, where
# the window looks for a bus every two seconds: it goes on (two pictures a little over a
# second apart differ), and SIGTERM ends it within a second with its settings written; so does
# a window started then.
kill "$dbus_pid"
wait "$dbus_pid" 2>/dev/null || true
rm -f "$XDG_RUNTIME_DIR/bus"
printf '[Tikkaru]\nMode=1\n' > "$conf"
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(64)
held = []
while True: held.append(s.accept())' "$XDG_RUNTIME_DIR/bus" &
mute=$!
bg_pids+=($mute)
win=$(window_id)
sleep 2.5
import -window "$win" "$T/mute1.png"
sleep 1.1
import -window "$win" "$T/mute2.png"
cmp -s "$T/mute1.png" "$T/mute2.png" && fail "the window stopped on a bus that never answers"
kill -TERM "$clock_pid"
for _ in $(seq 10); do kill -0 "$clock_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$clock_pid" 2>/dev/null && fail "SIGTERM on a bus that never answers: still running after 1 s"
grep -q '^WinLeft=' "$conf" || fail "SIGTERM on a bus that never answers: settings not written"
# A window started on that bus shows itself all the same, and ends as well.
printf '[Tikkaru]\nMode=1\n' > "$conf"
"$TIKKARU" &
clock_pid=$!
bg_pids+=($clock_pid)
window_id >/dev/null || fail "no window started on a bus that never answers"
kill -TERM "$clock_pid"
for _ in $(seq 10); do kill -0 "$clock_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$clock_pid" 2>/dev/null && fail "a window started on a bus that never answers: SIGTERM did not end it"
grep -q '^WinLeft=' "$conf" || fail "a window started on a bus that never answers kept no settings"
kill "$mute"
start_dbus "$XDG_RUNTIME_DIR/bus" || fail "no third session bus"
export DBUS_SESSION_BUS_ADDRESS=$dbus_address
"$TIKKARU" &
clock_pid=$!
bg_pids+=($clock_pid)
for _ in $(seq 80); do clock Version >/dev/null 2>&1 && break; sleep 0.1; done
clock Version >/dev/null || fail "no window on the bus after the one that never answered"

# Another process holds the clock's name when the window starts (a clock of another runtime
# folder, so of another lock, stopped so that it answers nothing): a request reaches the window
# that holds the lock all the same; once the name is free the window takes it.
kill "$clock_pid"
wait "$clock_pid" 2>/dev/null || true
mkdir -m 700 "$T/other"
XDG_RUNTIME_DIR=$T/other "$TIKKARU" &
stray=$!
bg_pids+=($stray)
for _ in $(seq 50); do clock Version >/dev/null 2>&1 && break; sleep 0.1; done
kill -STOP "$stray"
"$TIKKARU" &
clock_pid=$!
bg_pids+=($clock_pid)
sleep 2
[ "$(xdotool search --name '^Quorvane Tikkaru' | wc -l)" = 2 ] || fail "no window beside the stray one"
owner() {
    busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        GetConnectionUnixProcessID s org.quorvane.Tikkaru 2>/dev/null | awk '{ print $2 }'
}
for row in held freed; do
    if [ "$row" = freed ]; then
        kill -KILL "$stray"
        kill -CONT "$stray" 2>/dev/null || true
        for _ in $(seq 50); do [ "$(owner)" = "$clock_pid" ] && break; sleep 0.1; done
        [ "$(owner)" = "$clock_pid" ] || fail "the window did not take the freed name"
    fi
    status=0
    timeout 20 "$TIKKARU" '!' 2>"$T/err" || status=$?
    [ "$status" = 0 ] || fail "name $row by another process: '!' ended with $status: $(cat "$T/err")"
done

# Without XDG_RUNTIME_DIR the lock lives in /run/user/UID when that is the user's own, else in
# /tmp/tikkaru-UID. Each row runs in a /tmp and a /run/user of its own (a private mount
# namespace; the real /tmp is reached as /mnt, and with it the build and the window's runtime
# folder) where the /tmp folder is absent, another user's, a link to a folder elsewhere, or
# open to all: "!" speaks in every case, and the lock is made only in a folder of our own. In
# the last row /run/user/UID is the running window's runtime folder: "!" finds its lock there
# and hands the request over, one voice.
stop_recording
if [ "$(id -u)" = 0 ] && [ -d /mnt ] && unshare -m --propagation private true 2>/dev/null &&
    strace -o /dev/null true 2>/dev/null; then
    uid=$(id -u)
    moved() { case $1 in /tmp/*) echo "/mnt/${1#/tmp/}" ;; *) echo "$1" ;; esac; }
    server=unix:$(moved "${test_server#unix:}")
    for row in absent other-owner symlink open-to-all session-folder; do
        start_recording
        status=0
        T=$T row=$row uid=$uid server=$server moved_t=$(moved "$T") TIKKARU=$(moved "$TIKKARU") \
            run=$(moved "$XDG_RUNTIME_DIR") unshare -m --propagation private bash -c '
            set -eu
            mount --bind /tmp /mnt && mount -t tmpfs tmpfs /tmp
            if [ -d /run/user ]; then mount -t tmpfs tmpfs /run/user; else mount -t tmpfs tmpfs /run; mkdir /run/user; fi
            d=/tmp/tikkaru-$uid
            case $row in
            other-owner) mkdir -m 700 "$d" && chown nobody "$d" ;;
            symlink) mkdir -m 700 /tmp/elsewhere && ln -s /tmp/elsewhere "$d" ;;
            open-to-all) mkdir -m 755 "$d" ;;
            session-folder) mkdir -m 700 "/run/user/$uid" && mount --bind "$run" "/run/user/$uid" ;;
            esac
            # The lock file is watched as it is made: it must appear only in a folder of ours.
            env -u XDG_RUNTIME_DIR HOME="$moved_t/home" XDG_CONFIG_HOME="$moved_t/home/.config" \
                DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" PULSE_SERVER="$server" \
                timeout 20 strace -f -qq -e trace=openat,connect -o /tmp/opened "$TIKKARU" "!" \
                2>"$moved_t/lock.err" || exit $?
            # Nothing on stderr at status 0: cron would mail it.
            [ ! -s "$moved_t/lock.err" ] || { echo "stderr at status 0"; exit 94; }
            made=$(grep -c "tikkaru.lock" /tmp/opened || true)
            case $row in
            absent)
                [ "$(stat -c %a:%u "$d")" = "700:$uid" ] || { echo "folder made as $(stat -c %a:%u "$d")"; exit 90; }
                [ "$made" -gt 0 ] || { echo "no lock in a folder of our own"; exit 91; } ;;
            session-folder)
                grep -q "/run/user/$uid/tikkaru.lock" /tmp/opened || { echo "lock not looked for in /run/user"; exit 96; }
                grep -q "connect(.*$run/bus" /tmp/opened || { echo "not handed over"; exit 97; } ;;
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
