#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The clock's figures against its peers, run by bench/run (which provides the X server, the
sound server with a null sink kept busy, the release build and the bench programs).

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
p.add_argument("--probe", required=True)
p.add_argument("--memory", required=True)
p.add_argument("--leer", required=True)
p.add_argument("--voices", required=True)
p.add_argument("--sink", required=True)
p.add_argument("--idle-sink", required=True)
p.add_argument("--minutes", type=int, default=10)
p.add_argument("--runs", type=int, default=9)
p.add_argument("--cost-seconds", type=int, default=60)
p.add_argument("--only", default="")
args = p.parse_args()
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


# ---- the clock -------------------------------------------------------------------------------


def home(mode):
    h = tempfile.mkdtemp(dir=work)
    os.makedirs(os.path.join(h, ".config"))
    with open(os.path.join(h, ".config", "Quorvane.conf"), "w") as f:
        f.write(f"[Tikkaru]\nMode={mode}\n")
    env = dict(os.environ, HOME=h, XDG_CONFIG_HOME=os.path.join(h, ".config"), LC_ALL="C")
    return h, env


def start(cmd, env):
    """A process in a group of its own: faketime runs the clock as its child."""
    return subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


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


def wait_window(timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Quorvane Tikkaru"],
                           capture_output=True, text=True)
        if r.stdout.strip():
            return True
        time.sleep(0.05)
    return False


# ---- 1. on the dot ------------------------------------------------------------------------------


def on_the_dot():
    log("on the dot: every-minute mode over", args.minutes, "full minutes")
    delays = []
    es_lead = wav_info("es")[1]
    rec = Recorder()
    base = datetime.datetime(2026, 12, 7, 12, 33, 0).timestamp()
    for k in range(args.minutes):
        full = base + 60 * (k + 1)  # the full minute, in the clock's (fake) time
        lead = 2.5 + random.random()  # start a few seconds before it, at any sub-second
        offset = (full - lead) - time.time()
        _, env = home(3)
        proc = start(["faketime", "-f", f"{offset:+.6f}", args.tikkaru], env)
        real_full = full - offset
        first = rec.first_sound(real_full - 0.3, lead + 4)
        stop(proc)
        if first is None:
            log("  minute", k, "nothing heard")
            continue
        # The recording of "Es" begins with a little silence of its own.
        delays.append(first - es_lead - real_full)
        log(f"  minute {k}: {1000 * delays[-1]:.1f} ms")
        time.sleep(0.5)
    rec.stop()
    row("On the dot: full minute to first sound", "ms", delays,
        "timer of free phase, 500 ms (expected)", [0.25], "p95 <= 30 ms", 1000)


# ---- 2. gapless speech ---------------------------------------------------------------------------

SENTENCES = {
    # time: the spoken pieces of "!!", "~" a pause
    "12:34:56": "es ist ~ zwoelf uhr vier un drei ssig ~ und ~ sechs un fuenf zig sekunden",
    "23:47:38": "es ist ~ drei un zwan zig uhr sieben un vier zig ~ und ~ acht un drei ssig sekunden",
    "09:12:21": "es ist ~ neun uhr zwoelf ~ und ~ ein un zwan zig sekunden",
}


def added_silence(times, words):
    """Silence added per join: heard span, widened by the first piece's leading and the last
    piece's trailing silence, minus the pieces' own lengths and the pauses. Also the pauses as
    heard: each quiet gap of more than 0.15 s, less the silence inside the pieces around it."""
    pieces = [w for w in words if w != "~"]
    info = [wav_info(w) for w in pieces]
    span = times[-1] - times[0] + info[0][1] + info[-1][2]
    own = sum(i[0] for i in info) + PAUSE * words.count("~")
    gaps = [b - a for a, b in zip(times, times[1:]) if b - a > 0.15]
    around = [(wav_info(words[k - 1])[2] + wav_info(words[k + 1])[1])
              for k, w in enumerate(words) if w == "~"]
    pauses = [g - a for g, a in zip(gaps, around)] if len(gaps) == len(around) else []
    return (span - own) / (len(pieces) - 1), pauses


def heard(play):
    rec = Recorder()
    t0 = time.time()
    play()
    time.sleep(0.4)
    rec.stop()
    return rec.sound(t0)


def gapless():
    log("gapless speech")
    ours, paplay, sox = [], [], []
    pauses = {"tikkaru": [], "paplay": [], "sox": []}
    pause_file = os.path.join(work, "pause.wav")
    with wave.open(pause_file, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(22050)
        w.writeframes(b"\0\0" * int(22050 * PAUSE))
    _, env = home(1)
    for _ in range(max(1, args.runs // len(SENTENCES))):
        for clock, text in SENTENCES.items():
            words = text.split()
            files = [pause_file if w == "~" else
                     os.path.join(args.voices, "1", w.upper() + ".wav") for w in words]

            def one_by_one():
                for w, f in zip(words, files):
                    if w == "~":
                        time.sleep(PAUSE)
                    else:
                        subprocess.run(["paplay", f])
            for who, out, play in [
                ("tikkaru", ours, lambda: subprocess.run(
                    ["faketime", "-f", f"@2026-12-07 {clock}", args.tikkaru, "!!", "1"],
                    env=env)),
                ("paplay", paplay, one_by_one),
                ("sox", sox, lambda: subprocess.run(
                    ["play", "-q"] + files, env=dict(os.environ, AUDIODRIVER="pulseaudio")))]:
                join, heard_pauses = added_silence(heard(play), words)
                out.append(join)
                pauses[who] += heard_pauses
            log(f"  {clock}: tikkaru {1000 * ours[-1]:.1f} ms, paplay {1000 * paplay[-1]:.1f} "
                f"ms, play {1000 * sox[-1]:.1f} ms per join")
    row("Gapless: silence added per join", "ms", ours, "paplay, one process per piece", paplay,
        "<= 5 ms", 1000)
    row("Gapless: silence added per join", "ms", ours, "sox play, one concatenated stream",
        sox, "<= 5 ms", 1000)
    row("Pause \"~\" as heard (0.25 s asked)", "ms", pauses["tikkaru"],
        "paplay and a sleep of 0.25 s", pauses["paplay"], "", 1000)
    row("Pause \"~\" as heard (0.25 s asked)", "ms", pauses["tikkaru"],
        "sox play, 0.25 s of silence", pauses["sox"], "", 1000)
    idle_pause()


def idle_pause():
    """The pause after "Es ist" when speaking once on the idle sink, as from cron: nothing else
    plays there, and the recorder asks for a latency as long as the sink's idle one, so that
    it does not hold the sink at a small latency. The first quiet gap of the recording, less
    the silence at the end of "ist" and at the start of "zwoelf"."""
    log("pause after 'Es ist', speaking once, idle sink")
    around = wav_info("ist")[2] + wav_info("zwoelf")[1]
    _, env = home(1)
    env = dict(env, PULSE_SINK=args.idle_sink)
    pauses = []
    for _ in range(args.runs):
        rec = Recorder(args.idle_sink, 2000)
        subprocess.run(["faketime", "-f", "@2026-12-07 12:34:56", args.tikkaru, "!", "1"],
                       env=env)
        time.sleep(2.5)  # the monitor of an idle sink delivers in blocks of up to 2 s
        rec.stop()
        loud = [i for i, v in enumerate(rec.samples()) if abs(v) > THRESHOLD]
        gaps = [(b - a) / RATE for a, b in zip(loud, loud[1:]) if b - a > 0.15 * RATE]
        if gaps:
            pauses.append(gaps[0] - around)
        log(f"  {1000 * pauses[-1]:.0f} ms" if gaps else "  no pause heard")
        time.sleep(3)  # the sink goes back to its idle latency
    row("Pause after \"Es ist\", speaking once, idle sink", "ms", pauses, "", None,
        "250 ms +- 30", 1000)


# ---- 3. time to speak --------------------------------------------------------------------------


def first_sound_of(cmd, out, **run):
    """Runs cmd and adds to out the time from its start to its first sound, if any came."""
    rec = Recorder()
    t0 = time.time()
    subprocess.run(cmd, **run)
    first = rec.first_sound(t0, 5)
    rec.stop()
    if first is not None:
        out.append(first - t0)


def time_to_speak():
    log("time to speak")
    ours, peer, window, leer, bare = [], [], [], [], []
    # Runs under faketime leave fontconfig caches dated in their fake time, which the next
    # start at the real time writes anew: these runs get homes of their own and no faketime.
    _, env = home(1)
    subprocess.run([args.tikkaru, "!"], env=env)  # a first start that builds caches, not counted
    for _ in range(args.runs):
        first_sound_of([args.tikkaru, "!"], ours, env=env)
        first_sound_of(["espeak-ng", "-v", "de", "Es ist zwölf Uhr vier-und-dreißig."], peer,
                       stderr=subprocess.DEVNULL)
        # Start to exit of a program that only loads the clock's libraries, and of one that
        # loads none: what is spent before the clock's first line runs.
        for prog, out in [(args.leer, leer), ("/bin/true", bare)]:
            t0 = time.time()
            subprocess.run([prog])
            out.append(time.time() - t0)

        # Process start to the window mapped on the X server, seen by xev as it happens.
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
        proc = start([args.tikkaru], env)
        th.join(10)
        if mapped:
            window.append(mapped[0] - t0)
        wait_window()
        stop(proc)
        xev.terminate()
        xev.wait()
    row("Start to first sound, speaking once", "ms", ours,
        "espeak-ng -v de, the same sentence", peer, "<= espeak-ng", 1000)
    row("Start to exit, empty program with the clock's libraries", "ms", leer,
        "/bin/true (no library but the C library)", bare, "", 1000)
    row("Start to window shown", "ms", window, "", None, "", 1000)


def handed_over():
    """The same request beside a running window (manual mode), which speaks it."""
    log("time to speak, handed over to a running window")
    ours = []
    _, env = home(1)
    if not env.get("DBUS_SESSION_BUS_ADDRESS"):
        notes.append("Handed over: no session bus, not measured.")
        row("Start to first sound, handed over to a running window", "ms", [], "", None, "", 1000)
        return
    proc = start([args.tikkaru], env)
    wait_window()
    ask = ["busctl", "--user", "call", "org.quorvane.Tikkaru", "/", "org.quorvane.Tikkaru",
           "Version"]
    end = time.time() + 10
    while time.time() < end and subprocess.run(ask, capture_output=True).returncode != 0:
        time.sleep(0.05)
    subprocess.run([args.tikkaru, "!"], env=env)  # not counted
    for _ in range(args.runs):
        first_sound_of([args.tikkaru, "!"], ours, env=env)
    stop(proc)
    row("Start to first sound, handed over to a running window", "ms", ours, "", None,
        "<= speaking once", 1000)


# ---- 3b. the start of the first piece on an idle sink ------------------------------------------


def lost_start():
    """How much of the first piece's start a recorder of an idle sink misses. A new stream on an
    idle sink makes the server rewind what the sink had rendered ahead; a monitor has passed
    that on already, so a sound written into it is cut at its start. The piece is found in the
    recording by its part from 40 ms on, and its onset there is compared with its own."""
    log("start of the first piece on an idle sink")
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
    row("Start of the first piece lost, idle sink", "ms", ours, "paplay of the piece", peer,
        "~0", 1000)


# ---- 4. cost ---------------------------------------------------------------------------------------


def cost():
    secs = args.cost_seconds
    window = 10
    log("cost: idle, continuous, pauses,", secs, "s each")
    # Idle in manual mode.
    _, env = home(1)
    proc = start([args.tikkaru], env)
    wait_window()
    time.sleep(2)
    rss_start = rss_kb(proc.pid)
    idle = []
    c0 = cpu_seconds(proc.pid)
    for _ in range(secs // window):
        time.sleep(window)
        c1 = cpu_seconds(proc.pid)
        idle.append((c1 - c0) * 60 / window)
        c0 = c1
    stop(proc)
    row("CPU idle, manual mode, window shown", "s per minute", idle, "", None,
        "<= 0.06 s (0.1 % of a core)")

    # Continuous mode, sampled closely enough to see each pause on the recording.
    _, env = home(2)
    rec = Recorder()
    proc = start([args.tikkaru], env)
    wait_window()
    time.sleep(2)
    samples = []
    t_end = time.time() + secs
    while time.time() < t_end:
        samples.append((time.time(), cpu_seconds(proc.pid)))
        time.sleep(0.002)
    stop(proc)
    rec.stop()
    cont = []  # in windows of `window` seconds
    i = 0
    while True:
        t_a, c_a = samples[i]
        j = next((j for j in range(i, len(samples)) if samples[j][0] >= t_a + window), None)
        if j is None:
            break
        cont.append((samples[j][1] - c_a) * 60 / (samples[j][0] - t_a))
        i = j
    row("CPU continuous mode", "s per minute", cont)

    # The pauses: quiet stretches of 0.2 to 0.35 s between sounds; the time well inside each.
    loud = rec.sound(samples[0][0])
    pauses = []
    for a, b in zip(loud, loud[1:]):
        if 0.2 <= b - a <= 0.35:
            lo, hi = a + 0.03, b - 0.03
            inside = [(t, c) for t, c in samples if lo <= t <= hi]
            if len(inside) >= 2:
                (ta, ca), (tb, cb) = inside[0], inside[-1]
                pauses.append((cb - ca) * 60 / (tb - ta))
    row("CPU during a pause of 0.25 s", "s per minute", pauses, "", None,
        "(a busy wait: 60 s per minute)")

    # Memory after start and over 1,000 announcements.
    r = subprocess.run([args.memory, "1000"], capture_output=True, text=True)
    rss = {int(a): int(b) for a, b in re.findall(r"rss_kb (\d+) (\d+)", r.stdout)}
    rows.append(("Resident memory of tikkaru after start", "MiB",
                 (rss_start / 1024, rss_start / 1024, rss_start / 1024, 1), "", None, ""))
    if rss:
        last = max(rss)
        grow = (rss[last] - rss[min(k for k in rss if k > 0)]) / 1024
        rows.append((f"Memory growth, announcements {min(k for k in rss if k > 0)} to {last}",
                     "MiB", (grow, grow, grow, 1), "", None, "flat"))
        notes.append("Memory: resident set of the window in bench/memory at 0/250/500/750/1000 "
                     "announcements (a player that decodes and returns at once): " +
                     ", ".join(f"{rss[k] / 1024:.1f}" for k in sorted(rss)) + " MiB.")


# ---- 4b. cost while nothing is visible ------------------------------------------------------


def x_window_of(proc):
    r = subprocess.run(["xdotool", "search", "--pid", str(proc.pid), "--name", "^Quorvane"],
                       capture_output=True, text=True)
    return r.stdout.split()


def quiet_cost(proc, secs, window=10):
    """CPU per minute in windows of `window` s that hold no full minute (and so no
    announcement of every-minute mode); the announcements' own cost is returned apart."""
    quiet, minutes = [], []
    end = time.time() + secs
    while time.time() < end:
        t0, c0 = time.time(), cpu_seconds(proc.pid)
        time.sleep(window)
        t1, c1 = time.time(), cpu_seconds(proc.pid)
        per_minute = (c1 - c0) * 60 / (t1 - t0)
        # A full minute inside, or its announcement still running just after it.
        if int(t1 // 60) != int((t0 - 4) // 60):
            minutes.append(per_minute)
        else:
            quiet.append(per_minute)
    return quiet, minutes


def hidden():
    secs = max(args.cost_seconds, 60)
    log("cost while nothing is visible: every-minute mode,", secs, "s each")
    # Minimised: a window manager unmaps an iconified window; here xdotool does it.
    _, env = home(3)
    proc = start([args.tikkaru], env)
    wait_window()
    time.sleep(2)
    for w in x_window_of(proc):
        subprocess.run(["xdotool", "windowunmap", w])
    time.sleep(1)
    quiet, minutes = quiet_cost(proc, secs)
    stop(proc)
    row("CPU idle, window minimised, every-minute mode", "s per minute", quiet, "", None,
        "<= 0.03 s")
    if minutes:
        row("CPU, window minimised, 10 s holding a full minute", "s per minute", minutes)
    # Covered: another window lies over the whole window (xev's, at the same place).
    _, env = home(3)
    proc = start([args.tikkaru], env)
    wait_window()
    time.sleep(2)
    cover = subprocess.Popen(["xev", "-geometry", "1000x400+0+0"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    time.sleep(1)
    quiet, _ = quiet_cost(proc, secs)
    cover.terminate()
    cover.wait()
    stop(proc)
    row("CPU idle, window covered, every-minute mode", "s per minute", quiet, "", None,
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
    r = subprocess.run([args.probe, "100000", "2000"], capture_output=True, text=True)
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


parts = {"dot": on_the_dot, "gapless": gapless, "speak": time_to_speak,
         "handover": handed_over, "lost": lost_start,
         "cost": cost, "hidden": hidden, "wayland": wayland, "scale": scale}
for name, fn in parts.items():
    if not args.only or name in args.only.split(","):
        fn()
shutil.rmtree(work, ignore_errors=True)

print("| Measurement | Unit | Tikkaru median | p95 | max | n | Peer | Peer median | p95 | max "
      "| Ratio (medians) | Target |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|")
for name, unit, o, peer_name, pe, target in rows:
    if o is None:
        print(f"| {name} | {unit} | not measured | | | | {peer_name} | | | | | {target} |")
        continue
    ratio = ""
    if pe and pe[0] > 0 and o[0] > 0:
        ratio = f"{o[0] / pe[0]:.2f}"
    peer = (f"| {fmt(pe[0])} | {fmt(pe[1])} | {fmt(pe[2])} " if pe else "| | | ")
    print(f"| {name} | {unit} | {fmt(o[0])} | {fmt(o[1])} | {fmt(o[2])} | {o[3]} | {peer_name} "
          f"{peer}| {ratio} | {target} |")
for n in notes:
    print(f"\n{n}")
