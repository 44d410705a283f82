# SPDX-License-Identifier: GPL-3.0-or-later
"""What a screen reader learns of the real clock over AT-SPI, as Orca would ask it.

Runs inside dbus-run-session under the test X server: starts a window manager and the clock,
then reads the accessible tree with pyatspi and types with xdotool. Argument: the program.
"""
import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

TIKKARU = sys.argv[1]
STIMME_1 = "Stimme #1:  Ilvessa"
STIMME_2 = "Stimme #2:  Sunnika"

# Every control by its German name, in its role.
NAMEN = {
    "Uhrzeit": pyatspi.ROLE_PANEL,
    "Uhrzeit in Ziffern": pyatspi.ROLE_TEXT,
    "Uhrzeit als Satz": pyatspi.ROLE_TEXT,
    "Ansage": pyatspi.ROLE_PANEL,
    "Manuell": pyatspi.ROLE_RADIO_BUTTON,
    "Fortlaufend": pyatspi.ROLE_RADIO_BUTTON,
    "jede Minute": pyatspi.ROLE_RADIO_BUTTON,
    "jede Stunde": pyatspi.ROLE_RADIO_BUTTON,
    "Sekunden ansagen": pyatspi.ROLE_CHECK_BOX,
    "Ausgewählte Stimme:": pyatspi.ROLE_LABEL,
    "Ausgewählte Stimme": pyatspi.ROLE_COMBO_BOX,
    "Befehle": pyatspi.ROLE_PANEL,
    "Tikkaru – Zeit ansagen": pyatspi.ROLE_PUSH_BUTTON,
    "Beenden": pyatspi.ROLE_PUSH_BUTTON,
}

prozesse = []
ereignisse = []


def fail(text):
    print("FAIL:", text)
    sys.exit(1)


def pumpe(sekunden):
    """Delivers the AT-SPI events that arrive within the given time."""
    ende = time.monotonic() + sekunden
    kontext = GLib.MainContext.default()
    while time.monotonic() < ende:
        while kontext.pending():
            kontext.iteration(False)
        time.sleep(0.02)


def warte(bedingung, was, sekunden=30):
    ende = time.monotonic() + sekunden
    while time.monotonic() < ende:
        wert = bedingung()
        if wert:
            return wert
        pumpe(0.1)
    fail(was() if callable(was) else was)


def taste(*tasten):
    for t in tasten:
        subprocess.run(["xdotool", "key", "--clearmodifiers", t], check=True)
        pumpe(0.3)


def programm():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "tikkaru" and app.childCount > 0:
            return app
    return None


def steuerelemente(wurzel):
    """Every named descendant of the window, but for the entries of the voice list."""
    gefunden = []
    for kind in wurzel:
        if kind is None:
            continue
        if kind.name:
            gefunden.append(kind)
        if kind.getRole() != pyatspi.ROLE_COMBO_BOX:
            gefunden += steuerelemente(kind)
    return gefunden


def fokus(elemente):
    im_fokus = [e.name for e in elemente if e.getState().contains(pyatspi.STATE_FOCUSED)]
    return im_fokus[0] if len(im_fokus) == 1 else None


def text_von(element):
    if "Text" not in pyatspi.listInterfaces(element):
        return None
    return element.queryText().getText(0, -1)


def gewaehlt(liste):
    """The entries of the voice list's popup that are marked selected."""
    return [e.name for e in liste.getChildAtIndex(0)
            if e.getState().contains(pyatspi.STATE_SELECTED)]


def pruefe():
    # As a screen reader does: tell the toolkits that assistive technology is listening.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                    "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                    "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"],
                   check=True, stdout=subprocess.DEVNULL)
    protokoll = open("openbox.log", "w")
    prozesse.append(subprocess.Popen(["openbox", "--sm-disable"], stdout=protokoll,
                                     stderr=subprocess.STDOUT, start_new_session=True))
    warte(lambda: subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                 capture_output=True, text=True).stdout.count("window id"),
          lambda: "the window manager did not start: " + open("openbox.log").read())
    # A fixed time far from a full minute: the clock stays silent in every-minute mode.
    # Each in a process group of its own, ended as a whole: faketime does not pass a signal
    # on to the clock.
    prozesse.append(subprocess.Popen(["faketime", "-f", "@2026-12-07 12:23:07", TIKKARU],
                                     start_new_session=True))

    app = warte(programm, "the clock did not appear on the AT-SPI bus")
    # Every answer comes from the program itself, not from a cache of earlier answers.
    app.set_cache_mask(Atspi.Cache.NONE)
    fenster = app.getChildAtIndex(0)
    titel = warte(lambda: subprocess.run(
        ["xdotool", "search", "--name", "^Quorvane Tikkaru", "getwindowname"],
        capture_output=True, text=True).stdout.strip(), "no window")
    if fenster.getRole() != pyatspi.ROLE_FRAME:
        fail(f"the window is a {fenster.getRoleName()}, not a frame")
    if fenster.name != titel or not titel.startswith("Quorvane Tikkaru  Version "):
        fail(f"the frame is named {fenster.name!r}, the window {titel!r}")

    elemente = steuerelemente(fenster)
    for name, rolle in NAMEN.items():
        treffer = [e for e in elemente if e.name == name]
        if len(treffer) != 1 or treffer[0].getRole() != rolle:
            fail(f"{name!r}: {[(e.getRoleName()) for e in treffer]}, "
                 f"not one {pyatspi.Role(rolle).value_nick}")
    nach_name = {e.name: e for e in elemente}
    liste = nach_name["Ausgewählte Stimme"]
    labels = [r.getTarget(0).name for r in liste.getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    if labels != ["Ausgewählte Stimme:"]:
        fail(f"the voice list is labelled by {labels}")
    if text_von(liste) != STIMME_1:
        fail(f"the voice list reads {text_von(liste)!r}, not {STIMME_1!r}")
    if gewaehlt(liste) != [STIMME_1]:
        fail(f"the closed voice list has {gewaehlt(liste)} selected, not {STIMME_1!r}")

    # The sentence is read as text; its first letter lies within the box.
    satz = nach_name["Uhrzeit als Satz"]
    if "Uhr" not in (text_von(satz) or ""):
        fail(f"the sentence reads {text_von(satz)!r}")
    x, y, b, h = satz.queryText().getCharacterExtents(0, pyatspi.DESKTOP_COORDS)
    kasten = satz.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if not (kasten.x <= x < kasten.x + kasten.width and kasten.y <= y < kasten.y + kasten.height
            and b > 0 and h > 0):
        fail(f"the sentence's first letter at {(x, y, b, h)}, outside its box {kasten}")

    subprocess.run(["xdotool", "search", "--name", "^Quorvane Tikkaru", "windowactivate",
                    "--sync"], check=True)
    warte(lambda: fokus(elemente) == "Uhrzeit als Satz", "the sentence has no focus at start")

    # Tab from the sentence lands on the selected option; Space there keeps the mode.
    taste("Tab")
    warte(lambda: fokus(elemente) == "jede Minute",
          lambda: f"Tab from the sentence lands on {fokus(elemente)!r}, not on the selected")
    taste("space", "Tab")
    warte(lambda: fokus(elemente) == "Sekunden ansagen", "Tab does not leave the options")
    if not nach_name["jede Minute"].getState().contains(pyatspi.STATE_CHECKED):
        fail("the mode changed")
    taste("Tab")
    warte(lambda: fokus(elemente) == "Ausgewählte Stimme", "Tab does not reach the voice list")

    # Down selects the next voice: it is read from the list, and announced as it changes.
    pyatspi.Registry.registerEventListener(
        lambda e: ereignisse.append((e.type, e.source.name, e.any_data)),
        "object:text-changed:insert", "object:property-change:accessible-name")
    pumpe(0.5)
    taste("Down")
    warte(lambda: text_von(liste) == STIMME_2,
          lambda: f"after Down the voice list reads {text_von(liste)!r}, not {STIMME_2!r}")
    warte(lambda: ("object:text-changed:insert", "Ausgewählte Stimme", STIMME_2) in ereignisse,
          lambda: f"no text-changed event for the new voice: {ereignisse}")
    if gewaehlt(liste) != [STIMME_2]:
        fail(f"after Down the voice list has {gewaehlt(liste)} selected, not {STIMME_2!r}")

    taste("shift+Tab", "shift+Tab")
    warte(lambda: fokus(elemente) == "jede Minute",
          lambda: f"Shift+Tab into the options lands on {fokus(elemente)!r}")

    # Esc ends the clock, which keeps the voice chosen by the keyboard.
    taste("Escape")
    if prozesse[-1].wait(timeout=10) != 0:
        fail("the clock did not end cleanly after Esc")


try:
    pruefe()
finally:
    for p in prozesse:
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGTERM)
            p.wait(timeout=10)
print("ok")
