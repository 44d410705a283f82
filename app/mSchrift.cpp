// SPDX-License-Identifier: GPL-3.0-or-later
#include "mSchrift.h"

#include "Satzfeld.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

#include <fontconfig/fontconfig.h>

namespace {

// The smallest size the window shrinks a caption to, in points.
constexpr double KleinsteGroesse = 5.5;

// A caption without its access-key marks, as it is drawn.
QString OhneMarke(QString text) {
    QString aus;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        aus += text[i];
    }
    return aus;
}

// Where w draws its text, in w's coordinates, and how the text lies in it.
struct TextFeld {
    QRect rect;
    bool zentriert = false;
    QString text;
    QString hoehe; // the text whose ink must fit in height
};

// A text box of the clock's: its frame, and the margin of 2 pixels a line edit keeps on either
// side of its text; in height a line of the clock's sentence must fit.
TextFeld Kasten(const QWidget* w, const QStyle* stil, bool rahmen, const QString& text) {
    TextFeld feld;
    const int breite = rahmen ? stil->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    feld.rect = w->rect().adjusted(breite + 2, breite, -breite - 2, -breite);
    feld.text = text;
    feld.hoehe = QString::fromUtf8("00:00:00 Es ist zwölf Uhr zwanzig.");
    return feld;
}

TextFeld FeldVon(const QWidget* w, const QFont& f) {
    TextFeld feld;
    QStyle* stil = w->style();
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(w);
        opt.text = b->text();
        opt.fontMetrics = QFontMetrics(f);
        QStyle::SubElement teil = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(w) != nullptr) {
            teil = QStyle::SE_CheckBoxContents;
        } else if (qobject_cast<const QRadioButton*>(w) != nullptr) {
            teil = QStyle::SE_RadioButtonContents;
        } else {
            feld.zentriert = true;
        }
        feld.rect = stil->subElementRect(teil, &opt, w);
        if (feld.zentriert) {
            // A push button's text keeps clear of its frame.
            feld.rect.adjust(1, 0, -1, 0);
        } else {
            // An option's caption may run up to the control's edge, where the drawing stops.
            feld.rect.setRight(w->width() - 1);
        }
        feld.text = OhneMarke(b->text());
    } else if (const auto* l = qobject_cast<const QLabel*>(w)) {
        feld.rect = l->contentsRect();
        feld.text = OhneMarke(l->text());
    } else if (const auto* e = qobject_cast<const QLineEdit*>(w)) {
        feld = Kasten(w, stil, e->hasFrame(), e->text());
    } else if (const auto* s = qobject_cast<const Satzfeld*>(w)) {
        feld = Kasten(w, stil, s->hasFrame(), s->text());
    }
    if (feld.hoehe.isEmpty()) {
        feld.hoehe = feld.text;
    }
    return feld;
}

// Whether w's caption (a line edit: its text, and a line of the clock's sentence in height)
// fits into w drawn in font f: not wider than where the control draws it, no ink cut off at
// the top or bottom.
bool PasstHinein(const QWidget* w, const QFont& f) {
    const TextFeld feld = FeldVon(w, f);
    if (!feld.rect.isValid()) {
        return true;
    }
    const QFontMetricsF fm(f, w);
    // The ink counts, not the advance: a last letter's bearing may stick out of the control.
    const QRectF breite = fm.tightBoundingRect(feld.text);
    const double rechts = feld.zentriert ? feld.rect.x() + (feld.rect.width() + breite.width()) / 2
                                         : feld.rect.x() + breite.right();
    if (rechts > feld.rect.right() + 1) {
        return false;
    }
    if (feld.hoehe.isEmpty()) {
        return true;
    }
    // Vertically centred: the line's top, then the ink's top and bottom below it.
    const double oben = feld.rect.y() + (feld.rect.height() - fm.height()) / 2;
    const QRectF tinte = fm.tightBoundingRect(feld.hoehe);
    const double tinteOben = oben + fm.ascent() + tinte.top();
    const double tinteUnten = oben + fm.ascent() + tinte.bottom();
    return tinteOben >= feld.rect.top() && tinteUnten <= feld.rect.bottom() + 1;
}

// The font for the group: f where every caption fits in f; otherwise the largest size below,
// in the same face or a narrower one, where they all fit; the smallest one tried where none
// does.
QFont Passend(const QList<QWidget*>& gruppe, const QFont& f) {
    QFont probe = f;
    for (double punkte = f.pointSizeF(); punkte >= KleinsteGroesse; punkte -= 0.25) {
        for (const int breite :
             {0, static_cast<int>(QFont::SemiCondensed), static_cast<int>(QFont::Condensed)}) {
            probe = f;
            probe.setPointSizeF(punkte);
            if (breite != 0) {
                probe.setStretch(breite);
            }
            if (std::all_of(gruppe.begin(), gruppe.end(),
                            [&probe](const QWidget* w) { return PasstHinein(w, probe); })) {
                return probe;
            }
        }
    }
    return probe;
}

// The system's and the user's choices of how fonts are drawn (hinting, antialiasing, subpixel
// order), without their font folders, aliases and substitutions.
QByteArray Darstellung() {
    QByteArray xml =
        "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">"
        "<fontconfig>";
    QString system = qEnvironmentVariable("FONTCONFIG_PATH", QStringLiteral("/etc/fonts"));
    const QDir conf(system + QStringLiteral("/conf.d"));
    for (const QString& datei : conf.entryList(
             {QStringLiteral("10-*.conf"), QStringLiteral("11-*.conf")}, QDir::Files, QDir::Name)) {
        xml += "<include ignore_missing=\"yes\">" + conf.filePath(datei).toHtmlEscaped().toUtf8() +
               "</include>";
    }
    xml += "<include ignore_missing=\"yes\" prefix=\"xdg\">fontconfig/conf.d</include>"
           "<include ignore_missing=\"yes\" prefix=\"xdg\">fontconfig/fonts.conf</include>"
           "</fontconfig>";
    return xml;
}

// Makes a fontconfig configuration of only the given font files the current one, before the
// toolkit reads any. False, with nothing changed, where fontconfig refuses; and where the
// user chose a configuration of their own (FONTCONFIG_FILE), which stays.
bool NurDieseSchriften(const QStringList& dateien) {
    if (!qEnvironmentVariableIsEmpty("FONTCONFIG_FILE")) {
        return false;
    }
    FcConfig* config = FcConfigCreate();
    if (config == nullptr) {
        return false;
    }
    bool gut =
        FcConfigParseAndLoadFromMemory(
            config, reinterpret_cast<const FcChar8*>(Darstellung().constData()), FcTrue) == FcTrue;
    for (const QString& pfad : dateien) {
        gut = gut &&
              FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(
                                                 QFile::encodeName(pfad).constData())) == FcTrue;
    }
    // The current configuration holds its own reference.
    gut = gut && FcConfigSetCurrent(config) == FcTrue;
    FcConfigDestroy(config);
    return gut;
}

} // namespace

void LadeSchriften() {
    // The minimal platform (a copy that shows no window) draws nothing and takes no fonts.
    if (QGuiApplication::platformName() == QStringLiteral("minimal")) {
        return;
    }
    [[maybe_unused]] static const bool geladen = [] {
        QStringList dateien;
        for (const char* datei : {"wine/fonts/tahoma.ttf", "wine/fonts/ms_sans_serif.ttf"}) {
            const QString pfad = QStandardPaths::locate(QStandardPaths::GenericDataLocation, datei);
            if (!pfad.isEmpty()) {
                dateien << pfad;
            }
        }
        // With both faces at hand the window needs no other font: the toolkit then lists
        // these two instead of every installed font (whose configuration and listing cost
        // more than the rest of the window's start). Without them, the installed fonts stand
        // in, and the captions are fitted to them.
        if (dateien.size() == 2 && NurDieseSchriften(dateien)) {
            return true;
        }
        for (const QString& pfad : dateien) {
            QFontDatabase::addApplicationFont(pfad);
        }
        return true;
    }();
}

QFont Schrift(const QString& familie, double punkte, qreal pixelVerhaeltnis) {
    const bool bitmap = QFontDatabase::hasFamily(familie) && !QFontDatabase::isScalable(familie);
    QFont f(bitmap && pixelVerhaeltnis != 1.0 ? QStringLiteral("Tahoma") : familie);
    f.setPointSizeF(punkte);
    f.setWeight(QFont::Normal);
    return f;
}

void PasseAn(const QList<QWidget*>& gruppe, const QFont& f) {
    const QFont wahl = Passend(gruppe, f);
    for (QWidget* w : gruppe) {
        w->setFont(wahl);
    }
}
