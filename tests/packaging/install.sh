#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a desktop user gets it: install the build into a temporary DESTDIR, check the
# installed tree and validate its desktop entry, AppStream metainfo and manual page as the
# desktop's own tools read them, then build the Debian package and look into it.
#
#     install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/tikkaru-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

id=de.quorvane.tikkaru
expected=(
    usr/bin/tikkaru
    "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml"
    usr/share/man/man1/tikkaru.1.gz
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
)
for n in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${n}x${n}/apps/$id.png")
done
printf '%s\n' "${expected[@]}" | sort > "$work/expected"

# --- the installed tree ------------------------------------------------------------------
DESTDIR="$work/root" cmake --install "$build" --prefix /usr > /dev/null
(cd "$work/root" && find . -type f -printf '%P\n' | sort) > "$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the list"

root=$work/root/usr
[ -x "$root/bin/tikkaru" ] || fail "tikkaru is not executable"
"$root/bin/tikkaru" --version | grep -qx 'tikkaru [0-9]*\.[0-9][0-9][a-z]*' \
    || fail "the installed program does not tell its version"
for n in 16 22 24 32 48 64 128 256; do
    file -b "$root/share/icons/hicolor/${n}x${n}/apps/$id.png" | grep -q "PNG image data, $n x $n" \
        || fail "icon ${n}x${n} is not a PNG of that size"
done

# --- desktop entry -----------------------------------------------------------------------
desktop=$root/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=tikkaru' "$desktop" || fail "desktop entry: Exec"
grep -qx "Icon=$id" "$desktop" || fail "desktop entry: Icon"
grep -qx 'Categories=Utility;Clock;.*' "$desktop" || fail "desktop entry: Categories"
grep -q '^Name=.*Tikkaru' "$desktop" || fail "desktop entry: Name"
grep -q '^Comment=.*Uhrzeit' "$desktop" || fail "desktop entry: German Comment"

# --- AppStream ---------------------------------------------------------------------------
metainfo=$root/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "metainfo: launchable"
grep -q '<binary>tikkaru</binary>' "$metainfo" || fail "metainfo: provides"
grep -q '<summary xml:lang="de">' "$metainfo" || fail "metainfo: German summary"
grep -q '@[A-Z_]*@' "$metainfo" && fail "metainfo: unconfigured placeholder"

# --- manual page -------------------------------------------------------------------------
man=$root/share/man/man1/tikkaru.1.gz
warnings=$(zcat "$man" | LC_ALL=C.UTF-8 groff -k -man -ww -z 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff warnings: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man" 2>"$work/man.err")
[ ! -s "$work/man.err" ] || fail "man warnings: $(cat "$work/man.err")"
for word in '--check-voice' '--help' '--version' 'Quorvane.conf' '[Tikkaru]' WinLeft WinTop \
    Voice Mode Sekunden 'zwoelf.wav' '*/15 * * * *' 'RÜCKGABEWERT'; do
    grep -qF -- "$word" <<< "$text" || fail "manual page lacks $word"
done
# The 27 file names of one's own voice, all of them.
[ "$(grep -oE '\b[a-z]+\.wav\b' <<< "$text" | sort -u | grep -vc '^es\.wav$')" -ge 26 ] \
    || fail "manual page lacks some of the 27 file names"

# --- Debian package ----------------------------------------------------------------------
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" > cpack.log 2>&1) \
    || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/tikkaru_*.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "packaged files differ from the list"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libpulse0 libsndfile1; do
    grep -qE "(^|, )$lib( |,|$)" <<< "$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tikkaru ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
# Installable here as apt would install it (a simulation; nothing is changed).
apt-get install -s --no-install-recommends "$deb" > "$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; fail "apt-get cannot install the package"; }
grep -qE '^Inst tikkaru |tikkaru is already the newest' "$work/apt.log" \
    || { cat "$work/apt.log"; fail "apt-get simulation"; }
echo "ok"
