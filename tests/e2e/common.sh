# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end tests: a private home, a recording of the test sound server and
# the clock under a fake time. Exits 77 (skipped) where the test servers are not there.
set -euo pipefail
TIKKARU=$1
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for tool in faketime parec xdotool python3; do
    command -v "$tool" >/dev/null || { echo "skip: $tool missing"; exit 77; }
done
[ -n "${DISPLAY:-}" ] && [ -n "${TIKKARU_TEST_SINK:-}" ] || { echo "skip: no test servers"; exit 77; }

T=$(mktemp -d /tmp/tikkaru-e2e.XXXXXX)
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config
mkdir -p "$XDG_CONFIG_HOME" "$T/work"
cd "$T/work"
source "$HERE/../../scripts/lib.sh"
clear_stale_faketime
bg_pids=()
finish() {
    # A window saves its settings as it ends: its home goes only once it has.
    end_processes "${bg_pids[@]}"
    lib_stop
    rm -rf "$T"
}
trap finish EXIT

fail() { echo "FAIL: $*"; exit 1; }

# A runtime folder of the test's own with the user's session bus in it, where a session has
# them (skipped where busctl or dbus-daemon are missing).
private_session() {
    export XDG_RUNTIME_DIR=$T/run
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    command -v busctl >/dev/null && command -v dbus-daemon >/dev/null ||
        { echo "skip: busctl or dbus-daemon missing"; exit 77; }
    start_dbus "$XDG_RUNTIME_DIR/bus" || fail "no session bus"
    export DBUS_SESSION_BUS_ADDRESS=$dbus_address
}

# Waits until recording $1 has samples: an idle null sink delivers its monitor in blocks of up
# to 2 s at first, and what plays before the small latency asked for takes hold is not
# recorded faithfully.
await_samples() {
    for _ in $(seq 50); do [ -s "$1" ] && return; sleep 0.1; done
    fail "the recorder records nothing"
}

# Records the monitor of sink $2 (on server $3, default the test server) into $T/$1.raw,
# 16 kHz mono, from now on; stop_recording ends the latest.
record() {
    parec ${3:+-s "$3"} -d "$2.monitor" --latency-msec=10 --format=s16le --rate=16000 \
        --channels=1 --raw > "$T/$1.raw" 2>/dev/null &
    rec_pid=$!
    bg_pids+=($rec_pid)
    await_samples "$T/$1.raw"
}
stop_recording() { kill "$rec_pid" 2>/dev/null || true; wait "$rec_pid" 2>/dev/null || true; }
# The number of stretches of sound in recording $1.
heard() { python3 "$HERE/segments.py" "$T/$1.raw" | wc -l; }
# Waits until recording $1 holds at least $2 stretches of sound and has been quiet for $3 ms
# (default 500) after the last: what was to be heard, heard to its end. Fails after $4 s
# (default 15).
await_heard() {
    local quiet=${3:-500} end=$((SECONDS + ${4:-15})) out last
    while [ $SECONDS -lt $end ]; do
        out=$(python3 "$HERE/segments.py" "$T/$1.raw")
        if [ -n "$out" ] && [ "$(wc -l <<< "$out")" -ge "$2" ]; then
            last=$(tail -n1 <<< "$out" | awk '{ print $1 + $2 }')
            # 16 kHz mono s16le: 32 bytes a millisecond.
            [ $(($(stat -c %s "$T/$1.raw") / 32 - last)) -ge "$quiet" ] && return 0
        fi
        sleep 0.1
    done
    return 1
}

# Records the test sink into $T/rec.raw from now on.
start_recording() { record rec "$TIKKARU_TEST_SINK"; }

# The stretches of sound recorded so far, one "start length" (ms) a line.
stretches() { python3 "$HERE/segments.py" "$T/rec.raw"; }

# Checks that the stretch lengths match the expected ones (ms), within 15 %.
expect_stretches() {
    local got
    got=$(stretches | awk '{print $2}' | tr '\n' ' ')
    python3 - "$got" "$@" <<'PY' || fail "stretches [$got] expected [${*}]"
import sys
got = [int(x) for x in sys.argv[1].split()]
want = [int(x) for x in sys.argv[2:]]
ok = len(got) == len(want) and all(abs(g - w) <= max(0.15 * w, 40) for g, w in zip(got, want))
sys.exit(0 if ok else 1)
PY
}

window_id() { timeout 10 xdotool search --sync --name '^Quorvane Tikkaru' | head -n1; }
