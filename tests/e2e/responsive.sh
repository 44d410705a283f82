#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window answers at every moment while it speaks: on an idle sink (nothing else playing, as
# on most desktops) it answers the session bus within a generous bound all through an
# announcement, a '!' handed over mid-sentence ends at once with 10 (already speaking), and the
# highlight moves piece by piece in the order spoken, each pause's start and the piece after it
# as far apart as they are heard.
source "$(dirname "$0")/common.sh"
private_session
# Manual mode: the window speaks only when asked.
printf '[Tikkaru]\nMode=1\n' > "$XDG_CONFIG_HOME/Quorvane.conf"

QT_LOGGING_RULES="tikkaru.ansage.debug=true" "$TIKKARU" 2>"$T/log" &
bg_pids+=($!)
win=$(window_id) || fail "no window"
for _ in $(seq 50); do
    busctl --user call org.quorvane.Tikkaru / org.quorvane.Tikkaru Version >/dev/null 2>&1 && break
    sleep 0.1
done
# Nothing has played on the sink for a while: it runs at its idle latency.
sleep 3

# Enter, then the bus every 50 ms until the sentence has been heard; a '!' 0.8 s in.
xdotool windowfocus --sync "$win" key Return
python3 - "$TIKKARU" "$T/log" <<'PY' || fail "the window hesitated while it spoke"
import subprocess, sys, time
call = ["busctl", "--user", "call", "org.quorvane.Tikkaru", "/", "org.quorvane.Tikkaru",
        "Version"]
start = time.monotonic()
worst, n, handed = 0.0, 0, None
while time.monotonic() - start < 12:
    t = time.monotonic()
    subprocess.run(call, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
    worst = max(worst, time.monotonic() - t)
    n += 1
    if handed is None and t - start > 0.8:
        t = time.monotonic()
        status = subprocess.run([sys.argv[1], "!"], stderr=subprocess.DEVNULL, timeout=10).returncode
        handed = (status, time.monotonic() - t)
    if "highlight 0 0 -" in open(sys.argv[2]).read():
        break
    time.sleep(max(0.0, 0.05 - (time.monotonic() - t)))
print(f"{n} calls, longest answer {worst * 1000:.0f} ms; '!' mid-sentence: {handed}")
done = "highlight 0 0 -" in open(sys.argv[2]).read()
# Generous bounds: the figures themselves are bench/'s.
sys.exit(0 if done and worst < 0.3 and handed and handed[0] == 10 and handed[1] < 1.5 else 1)
PY

# Once more, recorded: the highlight against what was heard.
: > "$T/log"
sleep 3
start_recording
xdotool windowfocus --sync "$win" key Return
await_heard rec 3 800 15 || fail "the sentence was not heard"
stop_recording
python3 - "$T/log" "$HERE/segments.py" "$T/rec.raw" <<'PY' || fail "the highlight did not follow the sound"
import subprocess, sys
marks = []
for line in open(sys.argv[1]):
    if "tikkaru.ansage: highlight" in line:
        _, _, start, length, word, t = line.split()
        marks.append((word, float(t)))
words = [w for w, _ in marks]
print("highlighted:", " ".join(words))
# Spoken as the sentence is read: "Es ist ~ ..." and the highlight cleared at the end.
if words[:3] != ["Es", "ist", "~"] or words[-1] != "-" or words.count("~") not in (1, 3):
    sys.exit(1)
out = subprocess.run([sys.executable, sys.argv[2], sys.argv[3]], capture_output=True, text=True)
stretches = [tuple(int(x) for x in l.split()) for l in out.stdout.split("\n") if l.strip()]
print("heard (start, length ms):", stretches)
if len(stretches) < 2:
    sys.exit(1)
# The first stretch starts with "Es", the second with the piece after the first pause: the
# highlight's two moves lie as far apart as the two onsets (the sink's idle latency would
# put the first highlight about its latency early).
first_after_pause = marks[words.index("~") + 1][1]
apart_marks = (first_after_pause - marks[0][1]) * 1000
apart_heard = stretches[1][0] - stretches[0][0]
print(f"apart: highlighted {apart_marks:.0f} ms, heard {apart_heard} ms")
sys.exit(0 if abs(apart_marks - apart_heard) <= 80 else 1)
PY
echo "ok"
