# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the scripts, the benchmarks and the shell tests (sourced, not run): a private X
# server and a private sound server. Each starter adds the process it starts to the array
# lib_pids; lib_stop ends them all.

lib_pids=()

lib_stop() {
    end_processes "${lib_pids[@]}"
}

# Ends the processes given (children of this shell) and waits for them: TERM, 5 s to end, then
# KILL. One that was left stopped (SIGSTOP) would never see the TERM: it is continued first.
end_processes() {
    local p alive
    for p in "$@"; do
        kill -CONT "$p" 2>/dev/null || true
        kill "$p" 2>/dev/null || true
    done
    for _ in $(seq 50); do
        alive=0
        for p in "$@"; do kill -0 "$p" 2>/dev/null && alive=1; done
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    for p in "$@"; do kill -KILL "$p" 2>/dev/null || true; done
    [ $# = 0 ] || wait "$@" 2>/dev/null || true
}

# Starts Xvfb on a free display: its name (":N") in xvfb_display, its pid in xvfb_pid.
# $1: a folder for its display number. Fails when no display is named within 10 s.
start_xvfb() {
    rm -f "$1/display"
    Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$1/display" 2>/dev/null &
    xvfb_pid=$!
    lib_pids+=($xvfb_pid)
    for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
    if ! [ -s "$1/display" ]; then
        echo "Xvfb named no display within 10 s" >&2
        return 1
    fi
    xvfb_display=":$(head -n1 "$1/display")"
}

# Starts a PulseAudio of its own with one null sink; returns once it answers, with its pid in
# pulse_pid. $1: its socket, $2: the sink's name, $3: its log file; further arguments are
# passed on (more modules).
start_pulse() {
    local socket=$1 sink=$2 log=$3
    shift 3
    mkdir -p "$(dirname "$socket")"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$socket" \
        --load="module-null-sink sink_name=$sink rate=44100" \
        --log-target=file:"$log" "$@" &
    pulse_pid=$!
    lib_pids+=($pulse_pid)
    for _ in $(seq 100); do
        pactl -s "unix:$socket" info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Starts a PipeWire of its own with its session manager (WirePlumber) and its pulse server
# (pipewire-pulse), under the XDG_RUNTIME_DIR and the session bus of the environment; the
# pulse server listens at socket $1 (its folder is its PULSE_RUNTIME_PATH, so that it stays
# apart from a PulseAudio in the same runtime folder). Loads a null sink named $2 and makes
# it the default. Returns once the pulse server answers, with the pids in lib_pids. $3: a log
# file for all three.
start_pipewire() {
    local socket=$1 sink=$2 log=$3
    mkdir -p "$(dirname "$socket")"
    pipewire >>"$log" 2>&1 &
    lib_pids+=($!)
    for _ in $(seq 100); do
        [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
        sleep 0.05
    done
    wireplumber >>"$log" 2>&1 &
    lib_pids+=($!)
    PULSE_RUNTIME_PATH=$(dirname "$socket") pipewire-pulse >>"$log" 2>&1 &
    lib_pids+=($!)
    for _ in $(seq 100); do
        if pactl -s "unix:$socket" info >/dev/null 2>&1; then
            pactl -s "unix:$socket" load-module module-null-sink sink_name="$sink" rate=44100 \
                >/dev/null || return 1
            # WirePlumber names the default sink once it has seen the new one.
            for _ in $(seq 50); do
                pactl -s "unix:$socket" set-default-sink "$sink" 2>/dev/null &&
                    [ "$(pactl -s "unix:$socket" get-default-sink)" = "$sink" ] && return 0
                sleep 0.1
            done
            return 1
        fi
        sleep 0.1
    done
    return 1
}

# Starts a session bus of its own listening at socket $1; returns once the socket is there,
# with its address in dbus_address and its pid in dbus_pid.
start_dbus() {
    local socket=$1
    mkdir -p "$(dirname "$socket")"
    rm -f "$socket"
    dbus-daemon --session --address="unix:path=$socket" --nofork --nopidfile --nosyslog \
        >/dev/null 2>&1 &
    dbus_pid=$!
    lib_pids+=($dbus_pid)
    dbus_address="unix:path=$socket"
    for _ in $(seq 100); do
        [ -S "$socket" ] && return 0
        sleep 0.1
    done
    return 1
}

# faketime names its semaphore and shared memory after its process id and leaves them behind
# when it is killed; a later faketime that gets the same id then refuses to start. Those of
# ended processes go.
clear_stale_faketime() {
    local f
    for f in /dev/shm/sem.faketime_sem_* /dev/shm/faketime_shm_*; do
        [ -e "$f" ] && ! kill -0 "${f##*_}" 2>/dev/null && rm -f "$f" || true
    done
}

# Runs a command (a build) with its output held back; shows the output only when it fails.
quietly() {
    local log status=0
    log=$(mktemp)
    "$@" >"$log" 2>&1 || status=$?
    [ "$status" = 0 ] || cat "$log" >&2
    rm -f "$log"
    return "$status"
}
