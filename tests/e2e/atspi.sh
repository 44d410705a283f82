#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real clock as a screen reader meets it over AT-SPI, under a window manager: the window
# is a frame named by its title, every control has its German name, the selected voice is
# read from the voice list and announced when Down changes it, and Tab from the sentence
# lands on the selected mode option.
source "$(dirname "$0")/common.sh"
for tool in dbus-run-session openbox xprop; do
    command -v "$tool" >/dev/null || { echo "skip: $tool missing"; exit 77; }
done
# pyatspi is Debian's, for Debian's python3.
py=/usr/bin/python3
"$py" -c 'import pyatspi' 2>/dev/null || { echo "skip: python3-pyatspi missing"; exit 77; }
export XDG_RUNTIME_DIR=$T/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
conf=$XDG_CONFIG_HOME/Quorvane.conf
printf '[Tikkaru]\nMode=3\nVoice=0\nSekunden=0\n' > "$conf"

dbus-run-session -- "$py" "$HERE/atspi.py" "$TIKKARU" || fail "over AT-SPI"
grep -q '^Voice=1$' "$conf" || fail "the voice chosen by Down was not kept"
grep -q '^Mode=3$' "$conf" || fail "the mode changed"
echo "ok"
