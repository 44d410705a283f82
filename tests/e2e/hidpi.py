# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures screenshots of the clock's window taken by hidpi.sh.

Each argument is label:scale:path of a grey PGM. Checks that the window has its size at the
scale, that no caption runs into an edge where its control cuts it off, and that the digits
and the sentence grow with the scale; prints the figures measured. A caption cut off just
between two letters leaves no ink at the edge: tst_form1's captionsFit, which draws each
control wider as well, finds those too.
"""
import sys

# Window coordinates (logical pixels) of the captioned controls: x, y, width, height.
STEUERELEMENTE = {
    "opMA": (12, 56, 73, 21),
    "opAU": (90, 56, 73, 21),
    "opMM": (168, 56, 73, 21),
    "opHH": (246, 56, 73, 21),
    "chSek": (326, 56, 91, 21),
    "Label1": (14, 86, 103, 13),
    "cOK": (438, 56, 75, 21),
    "cExit": (438, 82, 75, 21),
}
TZ = (12, 14, 55, 21)
TT = (72, 14, 441, 21)
FENSTER = (526, 116)
TINTE = 110  # darker than this is ink of a caption


def lies(pfad):
    with open(pfad, "rb") as f:
        daten = f.read()
    teile = daten.split(maxsplit=4)
    if teile[0] != b"P5" or int(teile[3]) != 255:
        raise ValueError(f"{pfad}: not an 8-bit grey PGM")
    breite, hoehe = int(teile[1]), int(teile[2])
    pixel = teile[4]
    return breite, hoehe, lambda x, y: pixel[y * breite + x]


def native(rect, skala):
    x, y, b, h = rect
    return (round(x * skala), round(y * skala), round((x + b) * skala), round((y + h) * skala))


def tinte(bild, x0, y0, x1, y1):
    """The ink pixels in [x0, x1) x [y0, y1)."""
    return [(x, y) for y in range(y0, y1) for x in range(x0, x1) if bild(x, y) < TINTE]


def abgeschnitten(name, bild, skala):
    """Where the caption of a control is cut off, or an empty list."""
    x0, y0, x1, y1 = native(STEUERELEMENTE[name], skala)
    rand = max(1, round(skala))
    fehler = []
    if name in ("cOK", "cExit"):
        # Centred in a frame: a caption too wide runs into the frame on both sides.
        innen = 2 * rand
        if tinte(bild, x0 + innen, y0 + innen, x0 + innen + rand, y1 - innen) or \
                tinte(bild, x1 - innen - rand, y0 + innen, x1 - innen, y1 - innen):
            fehler.append("at the frame")
    else:
        if tinte(bild, x1 - rand, y0, x1, y1):
            fehler.append("at the right")
        # The label is exactly one line tall: its ink may touch its top and bottom.
        if name != "Label1" and (tinte(bild, x0 + 16 * rand, y0, x1, y0 + 1) or
                                 tinte(bild, x0 + 16 * rand, y1 - 1, x1, y1)):
            fehler.append("at the top or bottom")
    if not tinte(bild, x0, y0, x1, y1):
        fehler.append("no caption at all")
    return fehler


def hoehe(bild, rect, skala):
    """The height of the ink inside a text box, its frame left out."""
    x0, y0, x1, y1 = native(rect, skala)
    rand = 2 * max(1, round(skala))
    zeilen = {y for _, y in tinte(bild, x0 + rand, y0 + rand, x1 - rand, y1 - rand)}
    return max(zeilen) - min(zeilen) + 1 if zeilen else 0


def main():
    bilder = {}
    fehler = []
    for arg in sys.argv[1:]:
        name, skala, pfad = arg.split(":", 2)
        skala = float(skala)
        breite, hoch, bild = lies(pfad)
        if (breite, hoch) != (round(FENSTER[0] * skala), round(FENSTER[1] * skala)):
            fehler.append(f"{name}: window {breite}x{hoch} at scale {skala}")
            continue
        for steuer in STEUERELEMENTE:
            for f in abgeschnitten(steuer, bild, skala):
                fehler.append(f"{name}: caption of {steuer} cut off {f}")
        bilder[name] = (skala, hoehe(bild, TZ, skala), hoehe(bild, TT, skala))
        print(f"{name}: scale {skala}, digits {bilder[name][1]} px, sentence {bilder[name][2]} px")
    # The digits and the sentence at 2 against 1, in the same fonts.
    for gross, klein in (("wine-2", "wine-1"), ("xft-2", "wine-1"), ("nowine-2", "nowine-1")):
        if gross in bilder and klein in bilder:
            for i, was in ((1, "digits"), (2, "sentence")):
                verhaeltnis = bilder[gross][i] / max(bilder[klein][i], 1)
                print(f"{was} {gross} / {klein}: {verhaeltnis:.2f}")
                if verhaeltnis < 1.6:
                    fehler.append(f"{was} at {gross}: {verhaeltnis:.2f} times as tall as at {klein}")
    for f in fehler:
        print("FAIL:", f)
    sys.exit(1 if fehler else 0)


main()
