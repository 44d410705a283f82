#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a user and a packager get it. The licence in the tree; then the optimised
# build, as the package is made from it, installed into a temporary DESTDIR: the installed
# tree, its desktop entry, AppStream metainfo, manual page and systemd units checked with the
# desktop's and systemd's own tools, the service's command line run as systemd would run it;
# the Debian package built, looked into and checked by lintian; and the two package sets of
# scripts/bootstrap.
#
#     install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/tikkaru-install.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- licence -----------------------------------------------------------------------------
head -n2 "$src/LICENSE" | tr -s ' ' | grep -qx ' Version 3, 29 June 2007' \
    || fail "LICENSE is not the GPL version 3"
if [ -f /usr/share/common-licenses/GPL-3 ]; then
    cmp -s "$src/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the whole GPL-3"
fi
"$src/tools/spdx" --check || fail "source files without an SPDX licence line (run tools/spdx)"

# --- the optimised build, as the package is made -----------------------------------------
# Kept beside the tested build, so that a second run only builds what changed. Its maintainer
# comes from DEBFULLNAME and DEBEMAIL, as for a packager.
release=$build/package-release
DEBFULLNAME="Tikkaru Packaging Test" DEBEMAIL=packaging-test@tikkaru.invalid \
    cmake -S "$src" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure the release build"; }
cmake --build "$release" -j2 > "$work/build.log" 2>&1 \
    || { cat "$work/build.log"; fail "release build"; }

id=de.quorvane.tikkaru
expected=(
    usr/bin/tikkaru
    usr/libexec/tikkaru/fenster.so
    "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml"
    usr/share/man/man1/tikkaru.1.gz
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/doc/tikkaru/copyright
    usr/share/doc/tikkaru/changelog.gz
    usr/share/lintian/overrides/tikkaru
    usr/lib/systemd/user/tikkaru.service
    usr/lib/systemd/user/tikkaru-viertelstunde.timer
    usr/lib/systemd/user/tikkaru-halbestunde.timer
    usr/lib/systemd/user/tikkaru-stunde.timer
)
for n in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${n}x${n}/apps/$id.png")
done
printf '%s\n' "${expected[@]}" | sort > "$work/expected"

# --- the installed tree ------------------------------------------------------------------
DESTDIR="$work/root" cmake --install "$release" --prefix /usr > /dev/null
(cd "$work/root" && find . -type f -printf '%P\n' | sort) > "$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the list"

root=$work/root/usr
[ -x "$root/bin/tikkaru" ] || fail "tikkaru is not executable"
"$root/bin/tikkaru" --version | grep -qx 'tikkaru [0-9]*\.[0-9][0-9][a-z]*' \
    || fail "the installed program does not tell its version"
# Speaking once loads no GUI library: the executable needs none, the window's library has them
# and loads from where it is installed (a window still open after 3 s).
readelf -d "$root/bin/tikkaru" | grep -E 'NEEDED.*libQt6(Widgets|Gui)' \
    && fail "tikkaru itself needs a GUI library"
mkdir -p "$work/fenster-home" "$work/fenster-run"
chmod 700 "$work/fenster-run"
status=0
HOME=$work/fenster-home XDG_RUNTIME_DIR=$work/fenster-run QT_QPA_PLATFORM=offscreen \
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent timeout 3 "$root/bin/tikkaru" - \
    > "$work/fenster.log" 2>&1 || status=$?
[ "$status" = 124 ] || { cat "$work/fenster.log"; fail "the installed window does not start"; }
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
# The action that menus, launchers and shortcut settings offer: the time spoken once.
grep -qx 'Actions=zeit-sagen;' "$desktop" || fail "desktop entry: Actions"
sed -n '/^\[Desktop Action zeit-sagen\]/,/^\[/p' "$desktop" | grep -qx 'Exec=tikkaru !' \
    || fail "desktop entry: the action Zeit sagen does not run tikkaru !"

# --- AppStream ---------------------------------------------------------------------------
metainfo=$root/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "metainfo: launchable"
grep -q '<binary>tikkaru</binary>' "$metainfo" || fail "metainfo: provides"
grep -q '<summary xml:lang="de">' "$metainfo" || fail "metainfo: German summary"
grep -q '@[A-Z_]*@' "$metainfo" && fail "metainfo: unconfigured placeholder"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" \
    || fail "metainfo: project_license"
grep -q '<metadata_license>CC0-1.0</metadata_license>' "$metainfo" \
    || fail "metainfo: metadata_license"

# --- manual page -------------------------------------------------------------------------
man=$root/share/man/man1/tikkaru.1.gz
warnings=$(zcat "$man" | LC_ALL=C.UTF-8 groff -k -man -ww -z 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff warnings: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man" 2>"$work/man.err")
[ ! -s "$work/man.err" ] || fail "man warnings: $(cat "$work/man.err")"
for word in '--check-voice' '--help' '--version' 'Quorvane.conf' '[Tikkaru]' WinLeft WinTop \
    Voice Mode Sekunden 'zwoelf.wav' '*/15 * * * *' 'RÜCKGABEWERT' '-h, --help' '-V, --version' \
    'systemctl --user enable --now tikkaru-viertelstunde.timer' tikkaru-stunde.timer \
    tikkaru-halbestunde.timer org.quorvane.Tikkaru 'busctl --user call' 'OnCalendar=*-*-* 08..21' \
    '~/DATA'; do
    grep -qF -- "$word" <<< "$text" || fail "manual page lacks $word"
done
# The 27 file names of one's own voice, all of them.
[ "$(grep -oE '\b[a-z]+\.wav\b' <<< "$text" | sort -u | grep -vc '^es\.wav$')" -ge 26 ] \
    || fail "manual page lacks some of the 27 file names"

# --- copyright and changelog ------------------------------------------------------------
doc=$root/share/doc/tikkaru
head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "copyright: not in the machine-readable format"
for l in GPL-3+ CC0-1.0; do
    grep -qx "License: $l" "$doc/copyright" || fail "copyright: no licence paragraph $l"
done
zcat "$doc/changelog.gz" > "$work/changelog"
version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
released=$(date -u -d "$(dpkg-parsechangelog -l "$work/changelog" -S Date)" +%F)
# The newest entry is this version's, of the day the metainfo gives.
grep -qF "<release version=\"$version\" date=\"$released\"/>" "$metainfo" \
    || fail "changelog $version of $released, but the metainfo says $(grep '<release ' "$metainfo")"

# --- systemd units -----------------------------------------------------------------------
units=$root/lib/systemd/user
# systemd looks the program up in its own search path (/usr/local/bin, /usr/bin, ...): the
# name must be one the installation puts there.
read -r -a command <<< "$(sed -n 's/^ExecStart=//p' "$units/tikkaru.service")"
[ "${command[*]}" = "tikkaru !" ] || fail "service: ExecStart=${command[*]}"
[ -x "$root/bin/${command[0]}" ] || fail "service: ${command[0]} is not installed in bin"
for t in viertelstunde halbestunde stunde; do
    grep -qx 'Unit=tikkaru.service' "$units/tikkaru-$t.timer" || fail "tikkaru-$t.timer: Unit"
    grep -qx 'WantedBy=timers.target' "$units/tikkaru-$t.timer" || fail "tikkaru-$t.timer: Install"
done
# When the timers fire: every quarter of an hour and every full hour, on the second.
fires() {
    TZ=UTC systemd-analyze calendar --iterations=5 --base-time='2026-12-07 13:52:10 UTC' \
        "$(sed -n 's/^OnCalendar=//p' "$units/tikkaru-$1.timer")" |
        awk '/Next elapse:|Iter\. #/ { printf "%s ", $(NF - 1) }'
}
[ "$(fires viertelstunde)" = "14:00:00 14:15:00 14:30:00 14:45:00 15:00:00 " ] \
    || fail "tikkaru-viertelstunde.timer fires at $(fires viertelstunde)"
[ "$(fires halbestunde)" = "14:00:00 14:30:00 15:00:00 15:30:00 16:00:00 " ] \
    || fail "tikkaru-halbestunde.timer fires at $(fires halbestunde)"
[ "$(fires stunde)" = "14:00:00 15:00:00 16:00:00 17:00:00 18:00:00 " ] \
    || fail "tikkaru-stunde.timer fires at $(fires stunde)"
# systemd's own check, with the program where systemd would find it installed and the manual
# page the units name where man finds it.
mkdir -p "$work/units" "$work/verify-run"
chmod 700 "$work/verify-run"
sed "s|^ExecStart=tikkaru |ExecStart=$root/bin/tikkaru |" "$units/tikkaru.service" \
    > "$work/units/tikkaru.service"
cp "$units"/*.timer "$work/units/"
(cd "$work/units" && XDG_RUNTIME_DIR=$work/verify-run MANPATH=$root/share/man \
    systemd-analyze --user verify tikkaru.service tikkaru-viertelstunde.timer \
    tikkaru-halbestunde.timer tikkaru-stunde.timer) > "$work/verify.log" 2>&1 \
    || { cat "$work/verify.log"; fail "systemd-analyze verify"; }
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify warns"; }

# The service's command line, run as the user's systemd runs it: from the home folder, with
# only the session's environment, no display. It speaks on the test sound server: at 14:30:07
# " Es ist ~ vier-zehn  Uhr  drei-ssig.", two stretches of sound around a pause, near 2 s in
# all. What exactly is said is the end-to-end tests' matter; on a busy machine a stretch may
# come in parts.
if [ -n "${TIKKARU_TEST_SINK:-}" ] && [ -n "${XDG_RUNTIME_DIR:-}" ] && command -v faketime parec \
    > /dev/null; then
    mkdir -p "$work/home"
    source "$src/scripts/lib.sh"
    clear_stale_faketime
    parec -d "$TIKKARU_TEST_SINK.monitor" --latency-msec=10 --format=s16le --rate=16000 \
        --channels=1 --raw > "$work/rec.raw" &
    pids+=($!)
    # An idle sink's monitor starts in blocks of up to 2 s; wait until it delivers samples.
    for _ in $(seq 50); do [ -s "$work/rec.raw" ] && break; sleep 0.1; done
    (cd "$work/home" && env -i HOME="$work/home" USER="$(id -un)" LANG=C.UTF-8 \
        XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" PATH="$root/bin:/usr/bin:/bin" \
        faketime -f '@2026-12-07 14:30:07' "${command[@]}") || fail "the service's command failed"
    sleep 0.5
    kill "${pids[-1]}"
    stretches=$(python3 "$src/tests/e2e/segments.py" "$work/rec.raw" | awk '{print $2}' | tr '\n' ' ')
    python3 -c '
import sys
got = [int(x) for x in sys.argv[1].split()]
sys.exit(0 if len(got) >= 2 and got[0] > 150 and 1200 < sum(got) < 4000 else 1)
' "$stretches" || fail "the service's command spoke [$stretches] ms, not Es ist ~ vierzehn Uhr dreissig"
    [ ! -e "$work/home/.config/Quorvane.conf" ] || fail "the service's command wrote settings"

    # The same command line beside the running window (on the session bus in the runtime
    # folder, which is all the service's environment finds): the window speaks it, once, at its
    # own time, faked as above, so that the sentence is the same at any time of day (at 05:05,
    # "Es ist ~ fünf Uhr fünf." is under a second).
    if [ -n "${DISPLAY:-}" ] && [ -S "$XDG_RUNTIME_DIR/bus" ] && command -v busctl > /dev/null; then
        mkdir -p "$work/window/.config"
        printf '[Tikkaru]\nMode=1\n' > "$work/window/.config/Quorvane.conf"
        HOME="$work/window" XDG_CONFIG_HOME="$work/window/.config" \
            DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus" env -C "$work/window" \
            faketime -f '@2026-12-07 14:30:07' "$root/bin/tikkaru" &
        faked=$!
        pids+=($faked)
        for _ in $(seq 100); do
            busctl --address="unix:path=$XDG_RUNTIME_DIR/bus" call org.quorvane.Tikkaru / \
                org.quorvane.Tikkaru Version > /dev/null 2>&1 && break
            sleep 0.1
        done
        # faketime runs the window as its child and passes no signal on: the window is ended
        # itself.
        window=$(pgrep -P "$faked")
        pids+=($window)
        parec -d "$TIKKARU_TEST_SINK.monitor" --latency-msec=10 --format=s16le --rate=16000 \
            --channels=1 --raw > "$work/beside.raw" &
        pids+=($!)
        for _ in $(seq 50); do [ -s "$work/beside.raw" ] && break; sleep 0.1; done
        status=0
        (cd "$work/home" && env -i HOME="$work/home" USER="$(id -un)" LANG=C.UTF-8 \
            XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" PATH="$root/bin:/usr/bin:/bin" \
            "${command[@]}") || status=$?
        sleep 0.5
        kill "${pids[-1]}"
        kill "$window"
        wait "$faked" 2>/dev/null || true
        [ "$status" = 0 ] || fail "the service's command beside the window ended with $status"
        stretches=$(python3 "$src/tests/e2e/segments.py" "$work/beside.raw" | awk '{print $2}' |
            tr '\n' ' ')
        # One sentence, without the seconds, as above.
        python3 -c '
import sys
got = [int(x) for x in sys.argv[1].split()]
sys.exit(0 if len(got) >= 2 and got[0] > 150 and 1200 < sum(got) < 4000 else 1)
' "$stretches" || fail "beside the window the service's command was heard as [$stretches] ms"
        [ ! -e "$work/home/.config/Quorvane.conf" ] || fail "the service's command wrote settings"
    else
        echo "note: no display or session bus; the service's command was not run beside a window"
    fi
else
    echo "note: no test sound server; the service's command line was not run"
fi

# --- Debian package ----------------------------------------------------------------------
(cd "$work" && cpack -G DEB --config "$release/CPackConfig.cmake" -B "$work/deb" > cpack.log 2>&1) \
    || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/tikkaru_*.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "packaged files differ from the list"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libpulse0 libsndfile1; do
    grep -qE "(^|, )$lib( |,|$)" <<< "$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = tikkaru ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not the changelog's"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
[ "$(dpkg-deb -f "$deb" Maintainer)" = "Tikkaru Packaging Test <packaging-test@tikkaru.invalid>" ] \
    || fail "maintainer not from DEBFULLNAME and DEBEMAIL: $(dpkg-deb -f "$deb" Maintainer)"
# lintian, pedantic: no error and no warning. Informational and pedantic tags are shown.
lintian --fail-on error,warning --pedantic --display-info --tag-display-limit 0 "$deb" \
    > "$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian errors or warnings"
cat "$work/lintian.log"
# Installable here as apt would install it (a simulation; nothing is changed).
apt-get install -s --no-install-recommends "$deb" > "$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; fail "apt-get cannot install the package"; }
grep -qE '^Inst tikkaru |tikkaru is already the newest' "$work/apt.log" \
    || { cat "$work/apt.log"; fail "apt-get simulation"; }

# --- the package sets of scripts/bootstrap -----------------------------------------------
# As a user without sudo on a machine without any of them, it names the packages to install
# and how, in one line. The clock's own set holds nothing that only the tests need.
mkdir "$work/stub"
printf '#!/bin/bash\nexit 1\n' > "$work/stub/dpkg-query"
printf '#!/bin/bash\necho 1000\n' > "$work/stub/id"
chmod +x "$work/stub/dpkg-query" "$work/stub/id"
for set in run test; do
    if PATH=$work/stub /bin/bash "$src/scripts/bootstrap" "--$set" > "$work/$set.out" \
        2> "$work/$set.err"; then
        fail "bootstrap --$set without sudo succeeded"
    fi
    [ ! -s "$work/$set.out" ] && [ "$(wc -l < "$work/$set.err")" = 1 ] \
        || fail "bootstrap --$set: not one line: $(cat "$work/$set.out" "$work/$set.err")"
    grep -q ' as root run: apt-get install ' "$work/$set.err" \
        || fail "bootstrap --$set does not say how: $(cat "$work/$set.err")"
done
# The named packages, one a line.
tr ' ' '\n' < "$work/run.err" > "$work/run.list"
tr ' ' '\n' < "$work/test.err" > "$work/test.list"
for p in g++ cmake qt6-base-dev libpulse-dev libsndfile1-dev fonts-wine; do
    grep -qxF -- "$p" "$work/run.list" || fail "bootstrap --run lacks $p"
done
for p in xvfb xdotool pulseaudio sox faketime strace clang clang-format imagemagick lintian \
    systemd git; do
    grep -qxF -- "$p" "$work/run.list" && fail "bootstrap --run installs the test package $p"
    grep -qxF -- "$p" "$work/test.list" || fail "bootstrap --test lacks $p"
done
echo "ok"
