#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The clock's figures against its peers, run by bench/run (which provides the X server, the
sound servers with a null sink kept busy and an idle one each, the release build and the bench
programs built in it). bench/METHOD.md says how each row is measured.

Sound is placed on the wall clock by recording the null sink's monitor with a small latency
and timestamping every chunk as it arrives: a sample's time is the chunk's arrival time minus
the samples that follow it in the chunk. Prints a Markdown table, figures only."""
import argparse
import array
import datetime
import math
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import wave

RATE = 44100
THRESHOLD = 200  # a sample louder than this (of 32767) is sound
PAUSE = 0.25

p = argparse.ArgumentParser()
p.add_argument("--tikkaru", required=True)
p.add_argument("--bench", required=True, help="folder of the bench programs of the same build")
p.add_argument("--voices", required=True)
p.add_argument("--sink", required=True)
p.add_argument("--idle-sink", required=True)
p.add_argument("--memory-sink", required=True)
p.add_argument("--pulse", required=True, help="PulseAudio's socket")
p.add_argument("--pipewire", default="", help="pipewire-pulse's socket, if it runs")
p.add_argument("--minutes", type=int, default=6)
p.add_argument("--runs", type=int, default=9)
p.add_argument("--cost-runs", type=int, default=5)
p.add_argument("--cost-seconds", type=int, default=20)
p.add_argument("--announcements", type=int, default=250)
p.add_argument("--only", default="")
args = p.parse_args()
prog = {n: os.path.join(args.bench, n) for n in
        ["probe", "memory", "leer", "leeresfenster", "labeluhr", "minutentakt", "busping",
         "erstesbild"]}
# The sound servers of the rows that depend on one; the current one is in PULSE_SERVER.
servers = [("PulseAudio", args.pulse)] + ([("PipeWire", args.pipewire)] if args.pipewire else [])
server = servers[0][0]


def use_server(name):
    global server
    server = name
    os.environ["PULSE_SERVER"] = "unix:" + dict(servers)[name]


use_server("PulseAudio")
# Wall time less monotonic time: what the clock stamps on the monotonic clock, placed on the
# wall clock of the recordings.
MONO_TO_WALL = time.time() - time.monotonic()
work = tempfile.mkdtemp(prefix="tikkaru-measure.")
rows = []
notes = []


def log(*a):
    print(*a, file=sys.stderr, flush=True)


# ---- recording ---------------------------------------------------------------------------


class Recorder:
    """parec of the sink's monitor; every chunk with the real time it arrived."""

    def __init__(self, sink=None, latency_ms=10, rate=RATE):
        self.chunks = []
        self.proc = subprocess.Popen(
            ["parec", "-d", (sink or args.sink) + ".monitor", f"--latency-msec={latency_ms}",
             "--format=s16le", f"--rate={rate}", "--channels=1", "--raw"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        deadline = time.time() + 5
        while not self.chunks and time.time() < deadline:
            time.sleep(0.01)
        time.sleep(0.2)

    def _read(self):
        fd = self.proc.stdout.fileno()
        rest = b""
        while True:
            data = os.read(fd, 4096)
            t = time.time()
            if not data:
                return
            data = rest + data
            n = len(data) // 2 * 2
            rest = data[n:]
            s = array.array("h")
            s.frombytes(data[:n])
            self.chunks.append((t, s))

    def samples(self):
        out = array.array("h")
        for _, s in list(self.chunks):
            out.extend(s)
        return out

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.thread.join(2)

    def sound(self, after=0.0):
        """(time, samples) of every loud sample after the given real time, as a list of times."""
        times = []
        for t, s in list(self.chunks):
            n = len(s)
            for i, v in enumerate(s):
                if abs(v) > THRESHOLD:
                    at = t - (n - i) / RATE
                    if at >= after:
                        times.append(at)
        return times

    def first_sound(self, after, timeout):
        deadline = time.time() + timeout
        seen = 0
        while time.time() < deadline:
            chunks = self.chunks[seen:]
            for t, s in chunks:
                n = len(s)
                for i, v in enumerate(s):
                    if abs(v) > THRESHOLD:
                        at = t - (n - i) / RATE
                        if at >= after:
                            return at
            seen += len(chunks)
            time.sleep(0.01)
        return None


def wav_info(name):
    """Length, leading and trailing silence (s) of a built-in recording of voice 1."""
    with wave.open(os.path.join(args.voices, "1", name.upper() + ".wav")) as w:
        rate, n = w.getframerate(), w.getnframes()
        s = array.array("h")
        s.frombytes(w.readframes(n))
    loud = [i for i, v in enumerate(s) if abs(v) > THRESHOLD]
    lead = loud[0] / rate if loud else 0
    tail = (n - 1 - loud[-1]) / rate if loud else 0
    return n / rate, lead, tail


def stats(xs):
    xs = sorted(xs)
    if not xs:
        return None
    p95 = xs[min(len(xs) - 1, math.ceil(0.95 * len(xs)) - 1)]
    return statistics.median(xs), p95, xs[-1], len(xs)


def row(name, unit, ours, peer_name="", peer=None, target="", scale=1.0):
    rows.append((name, unit, stats([x * scale for x in ours]), peer_name,
                 stats([x * scale for x in peer]) if peer else None, target))


def srow(name, *a, **k):
    """A row of a figure that depends on the sound server: named with the current one."""
    row(f"{name} ({server})", *a, **k)


def has_string(path, text):
    """Whether the program holds the text (a logging category's name, say)."""
    with open(path, "rb") as f:
        return text.encode() in f.read()


# ---- the clock -------------------------------------------------------------------------------


def home(mode):
    h = tempfile.mkdtemp(dir=work)
    os.makedirs(os.path.join(h, ".config"))
    with open(os.path.join(h, ".config", "Quorvane.conf"), "w") as f:
        f.write(f"[Tikkaru]\nMode={mode}\n")
    env = dict(os.environ, HOME=h, XDG_CONFIG_HOME=os.path.join(h, ".config"), LC_ALL="C")
    return h, env


def start(cmd, env, stderr=None):
    """A process in a group of its own: faketime runs the clock as its child."""
    return subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL,
                            stderr=stderr or subprocess.DEVNULL, start_new_session=True)


def stop(proc):
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def cpu_seconds(pid):
    """Processor time of every thread of pid, from the scheduler's nanosecond counters."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total / 1e9


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def wait_window(timeout=10, name="^Quorvane Tikkaru", proc=None):
    """The X window of that name (of that process, if given) once it is visible, or None."""
    end = time.time() + timeout
    of = ["--pid", str(proc.pid)] if proc else []
    while time.time() < end:
        r = subprocess.run(["xdotool", "search", "--onlyvisible"] + of + ["--name", name],
                           capture_output=True, text=True)
        if r.stdout.strip():
            return r.stdout.split()[0]
        time.sleep(0.05)
    return None


BUSCALL = ["busctl", "--user", "call", "org.quorvane.Tikkaru", "/", "org.quorvane.Tikkaru"]


def wait_bus(timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        if subprocess.run(BUSCALL + ["Version"], capture_output=True).returncode == 0:
            return True
        time.sleep(0.05)
    return False


# ---- 1. on the dot ------------------------------------------------------------------------------


def on_the_dot():
    """The clock in every-minute mode and minutentakt (a free-running half-second timer that
    announces when the second is 00), interleaved, each started a few seconds before a full
    minute of a fake time at a random sub-second phase."""
    log(f"on the dot ({server}): every-minute mode over", args.minutes, "full minutes each")
    ours, peer = [], []
    es = os.path.join(args.voices, "1", "ES.wav")
    es_lead = wav_info("es")[1]
    rec = Recorder()
    base = datetime.datetime(2026, 12, 7, 12, 33, 0).timestamp()
    k = 0
    for _ in range(args.minutes):
        for out, cmd, mode in [(ours, [args.tikkaru], 3), (peer, [prog["minutentakt"], es], 3)]:
            k += 1
            full = base + 60 * k  # the full minute, in the program's (fake) time
            lead = 2.5 + random.random()  # start a few seconds before it, at any sub-second
            offset = (full - lead) - time.time()
            _, env = home(mode)
            proc = start(["faketime", "-f", f"{offset:+.6f}"] + cmd, env)
            real_full = full - offset
            first = rec.first_sound(real_full - 0.3, lead + 4)
            stop(proc)
            if first is None:
                log("  nothing heard:", cmd[0])
                continue
            # The recording of "Es" begins with a little silence of its own.
            out.append(first - es_lead - real_full)
            log(f"  {os.path.basename(cmd[0])}: {1000 * out[-1]:.1f} ms")
            time.sleep(0.5)
    rec.stop()
    srow("On the dot: full minute to first sound", "ms", ours,
         "minutentakt: free-running 500 ms timer", peer, "median <= 15 ms", 1000)


# ---- 2. gapless speech ---------------------------------------------------------------------------

SENTENCES = {
    # time: the spoken pieces of "!!", "~" a pause
    "12:34:56": "es ist ~ zwoelf uhr vier un drei ssig ~ und ~ sechs un fuenf zig sekunden",
    "23:47:38": "es ist ~ drei un zwan zig uhr sieben un vier zig ~ und ~ acht un drei ssig sekunden",
    "09:12:21": "es ist ~ neun uhr zwoelf ~ und ~ ein un zwan zig sekunden",
}


PIECE_RATE = 22050  # the built-in voices' rate: pieces are found in recordings made at it
MATCH = 0.15  # the part of a piece matched in a recording: its loudest 150 ms


def piece(name):
    """A built-in recording of voice 1 as samples at PIECE_RATE (cached)."""
    if name not in piece.cache:
        with wave.open(os.path.join(args.voices, "1", name.upper() + ".wav")) as w:
            assert w.getframerate() == PIECE_RATE and w.getnchannels() == 1
            s = array.array("h")
            s.frombytes(w.readframes(w.getnframes()))
        piece.cache[name] = list(s)
    return piece.cache[name]


piece.cache = {}


def find_piece(rec, name, lo, hi):
    """Where the piece begins in the recording, in samples, looked for from lo to hi: the
    offset where its loudest 150 ms correlate best with the recording, whatever the loudness the
    server plays it at (coarse on smoothed samples, then sample by sample around the best
    few). None where even there the correlation coefficient is below 0.7: the piece is not
    there."""
    p = piece(name)
    n = min(len(p), int(MATCH * PIECE_RATE))
    energy = [v * v for v in p]
    acc = sum(energy[:n])
    at, best = 0, acc
    for i in range(n, len(p)):
        acc += energy[i] - energy[i - n]
        if acc > best:
            at, best = i - n + 1, acc
    ref = p[at:at + n]
    if best == 0:
        return None
    lo, hi = max(0, lo + at), min(len(rec) - n, hi + at)
    if hi <= lo:
        return None

    def smooth(xs):
        """Sums of 8 samples: the coarse search sees only what lies below about 1.4 kHz."""
        acc = sum(xs[:8])
        out = [acc]
        for i in range(8, len(xs)):
            acc += xs[i] - xs[i - 8]
            out.append(acc)
        return out

    def match(xs, ys):
        """How alike ys is to xs whatever the loudness: their correlation coefficient."""
        e = sum(y * y for y in ys)
        return sum(x * y for x, y in zip(xs, ys)) / math.sqrt(e) if e else 0.0

    ref_c = smooth(ref)[::4]
    rec_c = smooth(rec[lo:hi + n])
    span = 4 * len(ref_c)
    score = {o: match(ref_c, rec_c[o:o + span:4]) for o in range(0, hi - lo, 2)}
    # Speech repeats itself a pitch period on: the best few places at least 16 samples apart,
    # each refined sample by sample.
    places = []
    for o in sorted(score, key=score.get, reverse=True):
        if all(abs(o - q) >= 16 for q in places):
            places.append(o)
            if len(places) == 8:
                break
    if not places:
        return None
    fine = max((lo + o for c in places for o in range(max(0, c - 3), min(hi - lo, c + 4))),
               key=lambda o: match(ref, rec[o:o + n]))
    if match(ref, rec[fine:fine + n]) < 0.7 * math.sqrt(best):
        return None
    return fine - at


def joins_and_pauses(rec, words):
    """Each piece found in the recording (samples at PIECE_RATE) by its own recording; the
    silence between two pieces that follow each other (a join), and between the pieces around
    each "~" (a pause, asked for 0.25 s), in seconds, from where one piece ends to where the
    next begins. Joins, pauses after "ist" and the other pauses apart; None where a piece is
    not found."""
    loud = next((i for i, v in enumerate(rec) if abs(v) > THRESHOLD), None)
    if loud is None:
        return None
    first = words[0]
    lead = next(i for i, v in enumerate(piece(first)) if abs(v) > THRESHOLD)
    at = find_piece(rec, first, loud - lead - 2000, loud - lead + 2000)
    if at is None:
        return None
    joins, after_ist, pauses = [], [], []
    prev, end, pause = first, at + len(piece(first)), False
    for w in words[1:]:
        if w == "~":
            pause = True
            continue
        # A join is looked for up to 0.2 s on (one process per piece), a pause up to 0.5 s.
        lo, hi = (end + int(0.15 * PIECE_RATE), end + int(0.5 * PIECE_RATE)) if pause else \
            (end - int(0.005 * PIECE_RATE), end + int(0.2 * PIECE_RATE))
        at = find_piece(rec, w, lo, hi)
        if at is None:
            log(f"  {w} not found after {prev}")
            return None
        gap = (at - end) / PIECE_RATE
        (after_ist if pause and prev == "ist" else pauses if pause else joins).append(gap)
        prev, end, pause = w, at + len(piece(w)), False
    return joins, after_ist, pauses


def heard(play):
    rec = Recorder(rate=PIECE_RATE)
    play()
    time.sleep(0.4)
    rec.stop()
    return list(rec.samples())


def gapless():
    """Join by join: every piece found in a recording of the busy sink by its own recording,
    for the clock ('!!'), paplay (one process per piece, a sleep for a pause) and sox (one
    stream of the pieces and of 0.25 s of silence for each pause)."""
    log(f"gapless speech ({server})")
    who = ["tikkaru", "paplay", "sox"]
    joins = {w: [] for w in who}
    after_ist = {w: [] for w in who}
    pauses = {w: [] for w in who}
    pause_file = os.path.join(work, "pause.wav")
    with wave.open(pause_file, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(PIECE_RATE)
        w.writeframes(b"\0\0" * int(PIECE_RATE * PAUSE))
    _, env = home(1)
    rounds = max(1, args.runs // 9)
    # The first sentence once for every contender, not counted: each starts warm.
    for i, (clock, text) in enumerate([next(iter(SENTENCES.items()))] * 1 +
                                      list(SENTENCES.items()) * rounds):
        words = text.split()
        files = [pause_file if w == "~" else
                 os.path.join(args.voices, "1", w.upper() + ".wav") for w in words]

        def one_by_one():
            for w, f in zip(words, files):
                if w == "~":
                    time.sleep(PAUSE)
                else:
                    subprocess.run(["paplay", f])
        for name, play in [
            ("tikkaru", lambda: subprocess.run(
                ["faketime", "-f", f"@2026-12-07 {clock}", args.tikkaru, "!!", "1"],
                env=env)),
            ("paplay", one_by_one),
            ("sox", lambda: subprocess.run(
                ["play", "-q"] + files, env=dict(os.environ, AUDIODRIVER="pulseaudio")))]:
            found = joins_and_pauses(heard(play), words)
            if i == 0 or found is None:
                continue
            joins[name] += found[0]
            after_ist[name] += found[1]
            pauses[name] += found[2]
        if i > 0:
            log(f"  {clock}: longest join " + ", ".join(
                f"{w} {1000 * max(joins[w], default=math.nan):.1f} ms" for w in who))
    srow("Gapless: silence at each join", "ms", joins["tikkaru"],
         "paplay, one process per piece", joins["paplay"], "<= 1 ms", 1000)
    srow("Gapless: silence at each join", "ms", joins["tikkaru"],
         "sox play, one concatenated stream", joins["sox"], "<= 1 ms", 1000)
    notes.append(f"Joins with more than 1 ms of silence ({server}): " + ", ".join(
        f"{w} {sum(1 for g in joins[w] if g > 0.001)} of {len(joins[w])}" for w in who) + ".")
    srow("Pause \"~\" as heard (0.25 s asked)", "ms", pauses["tikkaru"],
         "paplay and a sleep of 0.25 s", pauses["paplay"], "250 +- 5", 1000)
    srow("Pause \"~\" as heard (0.25 s asked)", "ms", pauses["tikkaru"],
         "sox play, 0.25 s of silence", pauses["sox"], "250 +- 5", 1000)
    srow("Pause after \"Es ist\" as heard (0.25 s asked)", "ms", after_ist["tikkaru"],
         "sox play, 0.25 s of silence", after_ist["sox"], "250 +- 5", 1000)
    idle_pause()


def idle_pause():
    """The pause after "Es ist" when speaking once on the idle sink, as from cron: nothing else
    plays there, and the recorder asks for a latency as long as the sink's idle one, so that
    it does not hold the sink at a small latency. Measured as the other pauses are: from where
    "ist" ends to where "zwoelf" begins, each found in the recording by its own recording
    (joins_and_pauses), whatever the level the server plays them at."""
    log(f"pause after 'Es ist', speaking once, idle sink ({server})")
    words = "es ist ~ zwoelf".split()
    _, env = home(1)
    env = dict(env, PULSE_SINK=args.idle_sink)
    pauses = []
    for _ in range(max(3, args.runs // 2)):
        rec = Recorder(args.idle_sink, 2000, rate=PIECE_RATE)
        subprocess.run(["faketime", "-f", "@2026-12-07 12:34:56", args.tikkaru, "!", "1"],
                       env=env)
        time.sleep(2.5)  # the monitor of an idle sink delivers in blocks of up to 2 s
        rec.stop()
        found = joins_and_pauses(list(rec.samples()), words)
        if found and found[1]:
            pauses.append(found[1][0])
        log(f"  {1000 * pauses[-1]:.1f} ms" if found and found[1] else "  pieces not found")
        time.sleep(3)  # the sink goes back to its idle latency
    srow("Pause after \"Es ist\", speaking once, idle sink", "ms", pauses, "", None,
         "250 +- 5", 1000)


# ---- 3. time to speak, time to a window ---------------------------------------------------------


def first_sound_of(cmd, out, **run):
    """Runs cmd and adds to out the time from its start to its first sound, if any came."""
    rec = Recorder()
    t0 = time.time()
    subprocess.run(cmd, **run)
    first = rec.first_sound(t0, 5)
    rec.stop()
    if first is not None:
        out.append(first - t0)


def time_to_map(cmd, env, name):
    """Process start to its window mapped on the X server, seen by xev as it happens; the
    program is ended once the window is there."""
    xev = subprocess.Popen(["xev", "-root", "-event", "substructure"],
                           stdout=subprocess.PIPE, text=True, bufsize=1)
    time.sleep(0.3)
    mapped = []

    def watch():
        for line in xev.stdout:
            if line.startswith("MapNotify"):
                mapped.append(time.time())
                return
    th = threading.Thread(target=watch, daemon=True)
    th.start()
    t0 = time.time()
    proc = start(cmd, env)
    th.join(10)
    wait_window(name=name)
    stop(proc)
    xev.terminate()
    xev.wait()
    return mapped[0] - t0 if mapped else None


def time_to_text(cmd, env):
    """Process start to the first frame of its window that holds text (bench/erstesbild.cpp)."""
    r = subprocess.run([prog["erstesbild"]] + cmd, env=env, stdout=subprocess.PIPE, text=True,
                       stderr=subprocess.DEVNULL)
    return float(r.stdout) / 1000 if r.returncode == 0 and r.stdout.strip() else None


def time_to_speak():
    log("time to speak, time to a window")
    ours, peer, leer, bare = [], [], [], []
    window, empty, window_cold, empty_cold = [], [], [], []
    text, label = [], []
    espeak = ["espeak-ng", "-v", "de", "Es ist zwölf Uhr vier-und-dreißig."]
    # Runs under faketime leave fontconfig caches dated in their fake time, which the next
    # start at the real time writes anew: these runs get a home of their own and no faketime.
    # It is warm: every contender starts once, uncounted, before the loop.
    _, env = home(1)
    windows = [(args.tikkaru, "^Quorvane Tikkaru"), (prog["leeresfenster"], "^Leeres Fenster")]
    subprocess.run([args.tikkaru, "!"], env=env)
    subprocess.run(espeak, env=env, stderr=subprocess.DEVNULL)
    for p in [prog["leer"], "/bin/true"]:
        subprocess.run([p])
    for cmd, name in windows:
        time_to_map([cmd], env, name)
    for cmd in [args.tikkaru, prog["labeluhr"]]:
        time_to_text([cmd], env)
    for _ in range(args.runs):
        first_sound_of([args.tikkaru, "!"], ours, env=env)
        first_sound_of(espeak, peer, env=env, stderr=subprocess.DEVNULL)
        # Start to exit of a program that only loads the clock's libraries, and of one that
        # loads none: what is spent before the clock's first line runs.
        for p, out in [(prog["leer"], leer), ("/bin/true", bare)]:
            t0 = time.time()
            subprocess.run([p])
            out.append(time.time() - t0)
        for (cmd, name), warm, cold in zip(windows, [window, empty], [window_cold, empty_cold]):
            t = time_to_map([cmd], env, name)
            if t is not None:
                warm.append(t)
            # A first start: a new home, without the user's font cache.
            _, fresh = home(1)
            t = time_to_map([cmd], fresh, name)
            if t is not None:
                cold.append(t)
        for cmd, out in [(args.tikkaru, text), (prog["labeluhr"], label)]:
            t = time_to_text([cmd], env)
            if t is not None:
                out.append(t)
    row("Start to first sound, speaking once", "ms", ours,
        "espeak-ng -v de, the same sentence", peer, "<= espeak-ng", 1000)
    row("Start to exit, empty program with the clock's libraries", "ms", leer,
        "/bin/true (no library but the C library)", bare, "", 1000)
    row("Start to window shown (warm font cache)", "ms", window, "empty Qt Widgets window",
        empty, "<= 1.2x", 1000)
    row("Start to window shown, first start (new home)", "ms", window_cold,
        "empty Qt Widgets window, new home", empty_cold, "", 1000)
    row("Start to the first frame with text (warm font cache)", "ms", text,
        "minimal Qt label clock", label, "<= 1.2x", 1000)


def handed_over():
    """The same request beside a running window (manual mode), which speaks it, and with no
    window (its lock elsewhere), interleaved: a request to a window that was quiet for 6 s
    (its stream closed), one right after the window's last announcement (its stream still
    open), and one with no window."""
    log("time to speak, handed over to a running window")
    quiet, soon, alone = [], [], []
    _, env = home(1)
    if not env.get("DBUS_SESSION_BUS_ADDRESS"):
        notes.append("Handed over: no session bus, not measured.")
        row("Start to first sound, handed over to a running window", "ms", [], "", None, "", 1000)
        return
    # Without a window: the instance lock lies in another runtime folder; the sound server
    # is named in PULSE_SERVER.
    lone = os.path.join(work, "lone-run")
    os.makedirs(lone, mode=0o700, exist_ok=True)
    env_alone = dict(env, XDG_RUNTIME_DIR=lone)
    proc = start([args.tikkaru], env)
    wait_window(proc=proc)
    wait_bus()
    subprocess.run([args.tikkaru, "!"], env=env)  # not counted
    subprocess.run([args.tikkaru, "!"], env=env_alone)  # not counted
    for _ in range(args.runs):
        time.sleep(6)
        first_sound_of([args.tikkaru, "!"], quiet, env=env)
        first_sound_of([args.tikkaru, "!"], soon, env=env)
        first_sound_of([args.tikkaru, "!"], alone, env=env_alone)
    stop(proc)
    row("Start to first sound, handed over to a window quiet for 6 s", "ms", quiet,
        "the same '!' with no window, interleaved", alone, "<= 1.1x", 1000)
    row("Start to first sound, handed over right after the window's last", "ms", soon,
        "the same '!' with no window, interleaved", alone, "<= 1.1x", 1000)


def collision():
    """'!' handed over at a random moment of the window's own announcement (Enter): the time
    to its exit and its status."""
    log("'!' handed over while the window speaks")
    _, env = home(1)
    proc = start([args.tikkaru], env)
    win = wait_window(proc=proc)
    wait_bus()
    took, statuses = [], []
    for _ in range(max(3, args.runs // 2)):
        time.sleep(1)
        subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "Return"])
        time.sleep(0.2 + 2.3 * random.random())
        t0 = time.time()
        r = subprocess.run([args.tikkaru, "!"], env=env, stderr=subprocess.DEVNULL)
        took.append(time.time() - t0)
        statuses.append(r.returncode)
        log(f"  status {r.returncode} after {1000 * took[-1]:.0f} ms")
        time.sleep(5)  # the window's announcement ends
    stop(proc)
    row("'!' handed over while the window speaks: start to exit", "ms", took, "", None,
        "<= 300 ms, status 10", 1000)
    notes.append("'!' handed over while the window speaks, exit statuses: " +
                 ", ".join(str(s) for s in statuses) + ".")


# ---- 3b. the start of the first piece on an idle sink ------------------------------------------


def lost_start():
    """How much of the first piece's start a recorder of an idle sink misses. A new stream on an
    idle sink makes the server rewind what the sink had rendered ahead; a monitor has passed
    that on already, so a sound written into it is cut at its start. The piece is found in the
    recording by its part from 40 ms on, and its onset there is compared with its own."""
    log(f"start of the first piece on an idle sink ({server})")
    path = os.path.join(args.voices, "1", "ES.wav")
    with wave.open(path) as w:
        rate = w.getframerate()
        piece = array.array("h")
        piece.frombytes(w.readframes(w.getnframes()))
    onset = next(i for i, v in enumerate(piece) if abs(v) > THRESHOLD)
    tail = piece[int(0.040 * rate):]

    def dot(rec, off, step):
        return sum(tail[i] * rec[off + i] for i in range(0, len(tail), step))

    def missing(rec):
        first = next((i for i, v in enumerate(rec) if abs(v) > THRESHOLD), None)
        if first is None:
            return None
        # The part from 40 ms on lies after the first sound heard, at most half a second on.
        lo = max(0, first - int(0.040 * rate))
        hi = min(len(rec) - len(tail), first + int(0.5 * rate))
        if hi <= lo:
            return None
        coarse = max(range(lo, hi, 4), key=lambda o: dot(rec, o, 4))
        best = max(range(max(lo, coarse - 6), min(hi, coarse + 7)), key=lambda o: dot(rec, o, 1))
        start = best - int(0.040 * rate)  # where the piece's first sample lies
        heard = next((i for i in range(max(0, start), len(rec)) if abs(rec[i]) > THRESHOLD),
                     None)
        return None if heard is None else (heard - start - onset) / rate

    ours, peer = [], []
    _, env = home(1)
    env = dict(env, PULSE_SINK=args.idle_sink)
    for _ in range(args.runs):
        for out, cmd in [(ours, [args.tikkaru, "!"]),
                         (peer, ["paplay", "-d", args.idle_sink, path])]:
            rec = Recorder(args.idle_sink, 20, rate)
            time.sleep(0.5)
            subprocess.run(cmd, env=env, stderr=subprocess.DEVNULL)
            time.sleep(0.3)
            rec.stop()
            m = missing(rec.samples())
            if m is not None:
                out.append(m)
            time.sleep(0.5)
    srow("Start of the first piece lost, idle sink", "ms", ours, "paplay of the piece", peer,
         "~0", 1000)


# ---- 3c. the window while it speaks -----------------------------------------------------------


def responsiveness():
    """Window in manual mode, voice 1; Enter pressed, and the window asked for its Version over
    the session bus every 20 ms (busping, one connection) while it speaks. Per run the longest
    answer; the event loop's own lateness where the program reports it."""
    log(f"responsiveness while speaking ({server})")
    loop_known = has_string(args.tikkaru, "tikkaru.loop")
    runs = max(2, args.runs // 4)
    medians = []
    for state in ["idle", "running", "suspended", "frozen"]:
        longest, median, late = [], [], []
        sink = args.sink if state in ("running", "frozen") else args.idle_sink
        _, env = home(1)
        env = dict(env, PULSE_SINK=sink, QT_LOGGING_RULES="tikkaru.loop.debug=true")
        err = Log(f"loop-{server}-{state}.log")
        proc = start([args.tikkaru], env, stderr=err.sink)
        win = wait_window(proc=proc)
        wait_bus()
        for _ in range(runs):
            # An idle sink: nothing played on it for 6 s, as on most desktops.
            time.sleep(6 if state == "idle" else 1.5)
            if state == "suspended":
                subprocess.run(["pactl", "suspend-sink", sink, "1"])
            err.mark()
            ping = subprocess.Popen([prog["busping"], "8", "20"], stdout=subprocess.PIPE,
                                    text=True)
            time.sleep(0.5)
            subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "Return"])
            if state == "frozen":
                time.sleep(0.3)
                pid = server_pid()
                if pid:
                    os.kill(pid, signal.SIGSTOP)
                    time.sleep(3)
                    os.kill(pid, signal.SIGCONT)
            out, _ = ping.communicate()
            if state == "suspended":
                subprocess.run(["pactl", "suspend-sink", sink, "0"])
            answers = [float(l.split()[1]) for l in out.splitlines() if len(l.split()) == 2]
            answers = [a if a >= 0 else 10000 for a in answers]
            if answers:
                longest.append(max(answers) / 1000)
                median.append(statistics.median(answers) / 1000)
            lates = [float(m) for m in re.findall(r"tikkaru\.loop: late ([\d.]+)", err.since())]
            late.append(max(lates, default=0) / 1000)
            log(f"  {state}: longest answer {max(answers, default=0):.0f} ms")
            time.sleep(4)  # the announcement ends
        stop(proc)
        err.close()
        what = {"idle": "idle sink", "running": "running sink", "suspended": "suspended sink",
                "frozen": "server frozen 3 s"}[state]
        srow(f"Longest answer to Version while speaking, {what}", "ms", longest, "", None,
             "<= 50 ms", 1000)
        medians.append(f"{what} {1000 * statistics.median(median):.2f} ms" if median else "")
        srow(f"Event loop lateness (10 ms timer) while speaking, {what}", "ms",
             late if loop_known else [], "", None, "<= 50 ms", 1000)
    notes.append(f"Answers to Version while speaking ({server}), median of all answers: " +
                 ", ".join(m for m in medians if m) + ".")
    if not loop_known and server == servers[0][0]:
        notes.append("Event loop lateness: n/a, this build has no tikkaru.loop category.")


class Log:
    """A file the program appends its stderr to, read through a handle of its own: what was
    written since mark()."""

    def __init__(self, name):
        self.path = os.path.join(work, name)
        self.sink = open(self.path, "ab")
        self.at = 0

    def mark(self):
        self.at = os.path.getsize(self.path)

    def since(self):
        with open(self.path, "rb") as f:
            f.seek(self.at)
            return f.read().decode(errors="replace")

    def close(self):
        self.sink.close()


def server_pid():
    """The process of the current sound server (pipewire-pulse for PipeWire)."""
    socket = os.environ["PULSE_SERVER"][len("unix:"):]
    name = "pulseaudio" if server == "PulseAudio" else "pipewire-pulse"
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmd = f.read().split(b"\0")
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read()
        except OSError:
            continue
        if os.path.basename(cmd[0].decode()) != name:
            continue
        # Ours: started for this run (its socket on its command line or under its runtime
        # folder).
        run_dir = os.path.dirname(os.path.dirname(socket)).encode()
        if socket.encode() in b" ".join(cmd) or run_dir in environ:
            return int(pid)
    return None


def highlight():
    """Highlight to sound: the window's highlight changes, stamped on the monotonic clock in
    its log, against the onsets of the pieces in a recording of the idle sink's monitor."""
    log(f"highlight to sound ({server})")
    name = "Highlight to sound, each piece, idle sink"
    if not has_string(args.tikkaru, "tikkaru.ansage"):
        srow(name, "ms", [], "", None, "<= 30 ms")
        if server == servers[0][0]:
            notes.append("Highlight to sound: n/a, this build logs no highlight changes "
                         "(tikkaru.ansage).")
        return
    diffs, firsts = [], []
    _, env = home(1)
    env = dict(env, PULSE_SINK=args.idle_sink, QT_LOGGING_RULES="tikkaru.ansage.debug=true")
    err = Log(f"ansage-{server}.log")
    proc = start([args.tikkaru], env, stderr=err.sink)
    win = wait_window(proc=proc)
    for _ in range(max(2, args.runs // 3)):
        time.sleep(6)
        err.mark()
        rec = Recorder(args.idle_sink, 10)
        subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "Return"])
        time.sleep(6)
        rec.stop()
        marks = [(w, float(t) + MONO_TO_WALL) for w, t in re.findall(
            r"tikkaru\.ansage: highlight \d+ \d+ (\S+) ([\d.]+)", err.since()) if w != "-"]
        if marks and "~" not in [w for w, _ in marks]:
            # No highlight of its own for a pause: a pause lies where the next highlight
            # comes later than the piece before it lasts.
            with_pauses = marks[:1]
            for (w0, t0), (w1, t1) in zip(marks, marks[1:]):
                if t1 - t0 - wav_info(w0)[0] > 0.15:
                    with_pauses.append(("~", t0))
                with_pauses.append((w1, t1))
            marks = with_pauses
        got = piece_onsets(rec, [w for w, _ in marks])
        if got is None:
            log("  the recording and the highlights do not match")
            continue
        d = [abs(t - o) for (_, t), o in zip([m for m in marks if m[0] != "~"], got)]
        if not d:
            log("  no highlight seen")
            continue
        diffs += d
        firsts.append(d[0])
        log(f"  median {1000 * statistics.median(d):.1f} ms, worst {1000 * max(d):.1f} ms")
    stop(proc)
    err.close()
    srow(name, "ms", diffs, "", None, "<= 30 ms", 1000)
    srow("Highlight to sound, first piece, idle sink", "ms", firsts, "", None, "<= 30 ms", 1000)


def piece_onsets(rec, words):
    """Where each piece (not the pauses) starts to be heard: the first sound after each quiet
    stretch, less the piece's own leading silence; from there on the pieces' own lengths, as
    they join without a gap (the gapless row). None when the quiet stretches do not match the
    pauses."""
    runs, cur = [], []
    for w in words:
        if w == "~":
            runs.append(cur)
            cur = []
        else:
            cur.append(w)
    runs.append(cur)
    runs = [r for r in runs if r]
    loud = rec.sound()
    starts = [loud[0]] + [b for a, b in zip(loud, loud[1:]) if b - a > 0.15] if loud else []
    if len(starts) != len(runs):
        return None
    onsets = []
    for at, r in zip(starts, runs):
        t = at - wav_info(r[0])[1]
        for w in r:
            onsets.append(t)
            t += wav_info(w)[0]
    return onsets


# ---- 4. cost ---------------------------------------------------------------------------------------


def cpu_of_run(cmd, env, name, secs):
    """CPU per minute of a fresh process over secs, after it showed its window and settled;
    also its resident set then."""
    proc = start(cmd, env)
    wait_window(name=name, proc=proc)
    time.sleep(3)
    kb = rss_kb(proc.pid)
    c0, t0 = cpu_seconds(proc.pid), time.time()
    time.sleep(secs)
    c1, t1 = cpu_seconds(proc.pid), time.time()
    stop(proc)
    return (c1 - c0) * 60 / (t1 - t0), kb


def cost():
    secs = args.cost_seconds
    log(f"cost: idle against the label clock, {args.cost_runs} runs of {secs} s each")
    idle, label, rss = [], [], []
    _, env = home(1)
    # One uncounted start each: the font cache is warm for both.
    cpu_of_run([args.tikkaru], env, "^Quorvane Tikkaru", 1)
    cpu_of_run([prog["labeluhr"]], env, "^Label-Uhr", 1)
    for _ in range(args.cost_runs):
        c, kb = cpu_of_run([args.tikkaru], env, "^Quorvane Tikkaru", secs)
        idle.append(c)
        rss.append(kb / 1024)
        label.append(cpu_of_run([prog["labeluhr"]], env, "^Label-Uhr", secs)[0])
    row("CPU idle, manual mode, window shown", "s per minute", idle,
        "minimal Qt label clock, set every second", label, "<= 1.1x")
    row("Resident memory of tikkaru after start", "MiB", rss)

    # Continuous mode, sampled closely enough to see each pause on the recording.
    log(f"cost: continuous mode, {max(2, args.cost_runs // 2)} runs of {secs} s")
    cont, pauses = [], []
    for _ in range(max(2, args.cost_runs // 2)):
        _, env = home(2)
        rec = Recorder()
        proc = start([args.tikkaru], env)
        wait_window(proc=proc)
        time.sleep(2)
        samples = []
        t_end = time.time() + secs
        while time.time() < t_end:
            samples.append((time.time(), cpu_seconds(proc.pid)))
            time.sleep(0.002)
        stop(proc)
        rec.stop()
        (ta, ca), (tb, cb) = samples[0], samples[-1]
        cont.append((cb - ca) * 60 / (tb - ta))
        # The pauses: quiet stretches of 0.2 to 0.35 s between sounds; the time well inside.
        loud = rec.sound(samples[0][0])
        for a, b in zip(loud, loud[1:]):
            if 0.2 <= b - a <= 0.35:
                lo, hi = a + 0.03, b - 0.03
                inside = [(t, c) for t, c in samples if lo <= t <= hi]
                if len(inside) >= 2:
                    (ta, ca), (tb, cb) = inside[0], inside[-1]
                    pauses.append((cb - ca) * 60 / (tb - ta))
    row("CPU continuous mode", "s per minute", cont)
    row("CPU during a pause of 0.25 s", "s per minute", pauses, "", None,
        "(a busy wait: 60 s per minute)")


# ---- 4a. memory over many announcements ---------------------------------------------------


memory_proc = None


def memory_start():
    """bench/memory: the window in continuous mode with the real player, on a sink of its own
    on PulseAudio, beside the other rows (it needs a quarter of an hour of speech)."""
    global memory_proc
    log(f"memory: {args.announcements} announcements in continuous mode, in the background")
    _, env = home(1)
    env = dict(env, PULSE_SINK=args.memory_sink, PULSE_SERVER="unix:" + args.pulse)
    memory_proc = subprocess.Popen([prog["memory"], str(args.announcements)], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def memory_end():
    log("memory: waiting for the announcements to end")
    try:
        out, _ = memory_proc.communicate(timeout=1800)
    except subprocess.TimeoutExpired:
        memory_proc.kill()
        out, _ = memory_proc.communicate()
    rss = {int(a): int(b) for a, b in re.findall(r"rss_kb (\d+) (\d+)", out)}
    secs = re.search(r"seconds ([\d.]+)", out)
    if len(rss) < 3:
        row("Memory growth over announcements, continuous mode", "MiB", [])
        notes.append("Memory: bench/memory ended early: " + out.strip().replace("\n", "; "))
        return
    ks = sorted(rss)
    first, last = ks[1], ks[-1]
    grow = (rss[last] - rss[first]) / 1024
    rows.append((f"Memory growth, announcements {first} to {last}, continuous mode", "MiB",
                 (grow, grow, grow, 1), "", None, "flat"))
    notes.append("Memory: resident set of the window in bench/memory (continuous mode, the "
                 "real player) at " + "/".join(str(k) for k in ks) + " announcements: " +
                 ", ".join(f"{rss[k] / 1024:.2f}" for k in ks) + " MiB" +
                 (f"; {float(secs.group(1)):.0f} s of speech." if secs else "."))


# ---- 4b. cost while nothing is visible ------------------------------------------------------


def x_window_of(proc):
    r = subprocess.run(["xdotool", "search", "--pid", str(proc.pid), "--name", "^Quorvane"],
                       capture_output=True, text=True)
    return r.stdout.split()


def quiet_cost(proc, secs, window=5):
    """CPU per minute over the windows of `window` s in secs that hold no full minute (and so
    no announcement of every-minute mode), and over those that do."""
    quiet, minutes = [0.0, 0.0], [0.0, 0.0]
    end = time.time() + secs
    while time.time() < end:
        t0, c0 = time.time(), cpu_seconds(proc.pid)
        time.sleep(window)
        t1, c1 = time.time(), cpu_seconds(proc.pid)
        # A full minute inside, or its announcement still running just after it.
        into = minutes if int(t1 // 60) != int((t0 - 4) // 60) else quiet
        into[0] += c1 - c0
        into[1] += t1 - t0
    per_minute = [c * 60 / t if t > 0 else None for c, t in [quiet, minutes]]
    return per_minute[0], per_minute[1]


def hidden():
    secs = args.cost_seconds
    runs = max(2, args.cost_runs // 2)
    log(f"cost while nothing is visible: every-minute mode, {runs} runs of {secs} s each")
    mini, covered, full = [], [], []
    for _ in range(runs):
        # Minimised: a window manager unmaps an iconified window; here xdotool does it.
        _, env = home(3)
        proc = start([args.tikkaru], env)
        wait_window(proc=proc)
        time.sleep(2)
        for w in x_window_of(proc):
            subprocess.run(["xdotool", "windowunmap", w])
        time.sleep(1)
        q, m = quiet_cost(proc, secs)
        stop(proc)
        if q is not None:
            mini.append(q)
        if m is not None:
            full.append(m)
        # Covered: another window lies over the whole window (xev's, at the same place).
        _, env = home(3)
        proc = start([args.tikkaru], env)
        wait_window(proc=proc)
        time.sleep(2)
        cover = subprocess.Popen(["xev", "-geometry", "1000x400+0+0"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        time.sleep(1)
        q, _ = quiet_cost(proc, secs)
        cover.terminate()
        cover.wait()
        stop(proc)
        if q is not None:
            covered.append(q)
    row("CPU idle, window minimised, every-minute mode", "s per minute", mini, "", None,
        "<= 0.03 s")
    if full:
        row("CPU, window minimised, 5 s holding a full minute", "s per minute", full)
    row("CPU idle, window covered, every-minute mode", "s per minute", covered, "", None,
        "<= 0.03 s")


# ---- 4c. memory on Wayland ----------------------------------------------------------------


def wayland():
    log("resident memory on Wayland (weston, headless)")
    plugin = "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so"
    if not shutil.which("weston") or not os.path.exists(plugin):
        notes.append("Wayland: not measured, weston or Qt's Wayland plugin (qt6-wayland) is "
                     "not installed.")
        return
    sock = "tikkaru-bench-wayland"
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", f"--socket={sock}",
                               "--idle-time=0"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], sock)
    deadline = time.time() + 10
    while not os.path.exists(path) and time.time() < deadline:
        time.sleep(0.1)
    if not os.path.exists(path):
        weston.terminate()
        weston.wait()
        notes.append("Wayland: not measured, weston did not start here.")
        return
    time.sleep(1)

    def rss_after_start(extra):
        _, env = home(1)
        env.update(extra)
        proc = start([args.tikkaru], env)
        time.sleep(4)  # no window list to ask on Wayland: long enough to be shown and idle
        kb = rss_kb(proc.pid) if proc.poll() is None else -1
        stop(proc)
        return kb / 1024

    wl = {"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": sock}
    ours, x11, bare = [], [], []
    for _ in range(3):
        ours.append(rss_after_start(wl))
        x11.append(rss_after_start({"QT_QPA_PLATFORM": "xcb"}))
        bare.append(rss_after_start(dict(wl, QT_WAYLAND_DISABLE_WINDOWDECORATION="1")))
    weston.terminate()
    weston.wait()
    row("Resident memory after start, Wayland (weston)", "MiB", ours,
        "the same build on X11 (Xvfb)", x11, "within 10 MiB of X11")
    row("Resident memory after start, Wayland (weston)", "MiB", ours,
        "the same on Wayland without Qt's window frame", bare, "")


# ---- 5. scale --------------------------------------------------------------------------------------


def scale():
    log("scale: probe among 100,000 files")
    r = subprocess.run([prog["probe"], "100000", "2000"], capture_output=True, text=True)
    got = {m[0]: (float(m[2]), float(m[3]), float(m[4]), int(m[1]))
           for m in re.findall(r"^(\w+) (\d+) ([\d.]+) ([\d.]+) ([\d.]+)$", r.stdout, re.M)}
    for key, name, target in [("exact", "Probe, exact name, 100,000 other files", "< 1 ms"),
                              ("other_case", "Probe, other letter case (reads the folder)", ""),
                              ("missing", "Probe, missing file (reads the folder)", "")]:
        if key in got:
            med, p95, mx, n = got[key]
            rows.append((name, "ms", (med / 1000, p95 / 1000, mx / 1000, n), "", None, target))


def fmt(x):
    if x is None:
        return ""
    return f"{x:.3f}" if abs(x) < 1 else f"{x:.1f}" if abs(x) < 100 else f"{x:.0f}"


# The rows that depend on the sound server run on each one, one after the other; the others
# once, on PulseAudio.
by_server = {"dot": on_the_dot, "gapless": gapless, "lost": lost_start,
             "answer": responsiveness, "highlight": highlight}
once = {"speak": time_to_speak, "handover": handed_over, "collision": collision,
        "cost": cost, "hidden": hidden, "wayland": wayland, "scale": scale}
wanted = set(args.only.split(",")) if args.only else None
unknown = (wanted or set()) - set(by_server) - set(once) - {"memory"}
if unknown:
    sys.exit("measure.py: no such part: " + ", ".join(sorted(unknown)))


def chosen(name):
    return wanted is None or name in wanted


if chosen("memory"):
    memory_start()
for name, fn in by_server.items():
    if chosen(name):
        for srv, _ in servers:
            use_server(srv)
            fn()
use_server(servers[0][0])
for name, fn in once.items():
    if chosen(name):
        fn()
if chosen("memory"):
    memory_end()
shutil.rmtree(work, ignore_errors=True)

print("| Measurement | Unit | Tikkaru median | p95 | max | n | Peer | Peer median | p95 | max "
      "| Ratio (medians) | Target |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|")
for name, unit, o, peer_name, pe, target in rows:
    if o is None:
        print(f"| {name} | {unit} | n/a | | | | {peer_name} | | | | | {target} |")
        continue
    ratio = ""
    if pe and pe[0] > 0 and o[0] > 0:
        ratio = f"{o[0] / pe[0]:.2f}"
    peer = (f"| {fmt(pe[0])} | {fmt(pe[1])} | {fmt(pe[2])} " if pe else "| | | ")
    print(f"| {name} | {unit} | {fmt(o[0])} | {fmt(o[1])} | {fmt(o[2])} | {o[3]} | {peer_name} "
          f"{peer}| {ratio} | {target} |")
for n in notes:
    print(f"\n{n}")
