#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real window on scaled screens (QT_SCALE_FACTOR 1, 1.5, 2 and Xft.dpi 192), with and
# without fonts-wine's faces: the digits and the sentence grow with the scale, no caption is
# cut off at a control's edge, and the window carries the application icon.
source "$(dirname "$0")/common.sh"
for tool in import convert xprop xrdb xev; do
    command -v "$tool" >/dev/null || { echo "skip: $tool missing"; exit 77; }
done
export XDG_RUNTIME_DIR=$T/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Every hour: silent at the fixed time, and the sentence carries no seconds.
printf '[Tikkaru]\nMode=4\nSekunden=0\n' > "$XDG_CONFIG_HOME/Quorvane.conf"

# Without fonts-wine: its folder is not among the data folders, and fontconfig skips it too.
mkdir -p "$T/leer"
cat > "$T/fonts.conf" <<XML
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><glob>*/wine/*</glob></rejectfont></selectfont>
</fontconfig>
XML
ohne_wine=(XDG_DATA_DIRS="$T/leer" XDG_DATA_HOME="$T/leer" FONTCONFIG_FILE="$T/fonts.conf")

# Keeps the X server from resetting (and forgetting Xft.dpi) between the clients below.
xev -root -event property >/dev/null 2>&1 &
bg_pids+=($!)

# Screenshot of the window as $T/<name>.pgm, started with the given environment.
bilder=()
aufnahme() {
    local name=$1 skala=$2
    shift 2
    env "$@" faketime -f '@2026-12-07 12:23:07' "$TIKKARU" &
    local pid=$!
    bg_pids+=($pid)
    local win
    win=$(window_id) || fail "$name: no window"
    sleep 1.5
    if [ "$name" = wine-1 ]; then
        icons=$(xprop -id "$win" _NET_WM_ICON)
        grep -q 'Icon (16 x 16)' <<< "$icons" && grep -q 'Icon (32 x 32)' <<< "$icons" ||
            fail "the window carries no icon"
    fi
    import -window "$win" "$T/$name.png"
    convert "$T/$name.png" -colorspace Gray -depth 8 "pgm:$T/$name.pgm"
    xdotool windowfocus --sync "$win" key Escape
    wait "$pid" 2>/dev/null || true
    bilder+=("$name:$skala:$T/$name.pgm")
}

for skala in 1 1.5 2; do
    aufnahme "wine-$skala" "$skala" QT_SCALE_FACTOR="$skala"
    aufnahme "nowine-$skala" "$skala" QT_SCALE_FACTOR="$skala" "${ohne_wine[@]}"
done
printf 'Xft.dpi:\t192\n' | xrdb -nocpp -merge
aufnahme xft-2 2
xrdb -remove

python3 "$HERE/hidpi.py" "${bilder[@]}" || fail "on a scaled screen"
# For the README: the window at scale 2 (TIKKARU_SCREENSHOT names the file).
if [ -n "${TIKKARU_SCREENSHOT:-}" ]; then cp "$T/wine-2.png" "$TIKKARU_SCREENSHOT"; fi
echo "ok"
