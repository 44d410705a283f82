// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormFixture.h"
#include "mAnsage.h"

#include "mZeitSatz.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <fstream>

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void captionsFit_data();
    void captionsFit();
    void designState();
    void tabOrder();
    void coupling();
    void accessKeys();
    void keys_data();
    void keys();
    void focusInTTAfterClicks();
    void announcementWalk();
    void highlightOrder_data();
    void highlightOrder();
    void busyDuringAnnouncement();
    void voiceChangeDuringAnnouncement_data();
    void voiceChangeDuringAnnouncement();
    void handedOver_data();
    void handedOver();
    void reportsAfterTheEnd_data();
    void reportsAfterTheEnd();
    void displayRefresh();
    void boxesDrawnAsPlain_data();
    void boxesDrawnAsPlain();
    void timeBoxesDrawnAsLineEdit_data();
    void timeBoxesDrawnAsLineEdit();
    void sentenceSelectedAndCopied_data();
    void sentenceSelectedAndCopied();
};

void TestForm1::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    auto row = [](const char* n, const char* p, QRect r, const char* c, const char* f, double pt) {
        QTest::newRow(n) << n << p << r << QString::fromUtf8(c) << f << pt;
    };
    row("coVoice", "Form1", {2520, 1230, 3765, 315}, "", "Tahoma", 8.25);
    row("Frame1", "Form1", {60, 0, 7755, 645}, "", "MS Sans Serif", 8.25);
    row("TZ", "Frame1", {120, 210, 825, 315}, "00:00:00", "MS Sans Serif", 8.25);
    row("TT", "Frame1", {1020, 210, 6615, 315}, "", "MS Sans Serif", 8.25);
    row("Frame2", "Form1", {60, 630, 6315, 1035}, "", "MS Sans Serif", 8.25);
    row("chSek", "Frame2", {4830, 210, 1365, 315}, "Se&kunden ansagen", "Tahoma", 6.75);
    row("opHH", "Frame2", {3630, 210, 1095, 315}, "jede &Stunde", "Tahoma", 6.75);
    row("opMM", "Frame2", {2460, 210, 1095, 315}, "jede &Minute", "Tahoma", 6.75);
    row("opAU", "Frame2", {1290, 210, 1095, 315}, "&Fortlaufend", "Tahoma", 6.75);
    row("opMA", "Frame2", {120, 210, 1095, 315}, "M&anuell", "Tahoma", 6.75);
    row("Label1", "Frame2", {150, 660, 1545, 195}, "Ausgewählte Stimme:", "MS Sans Serif", 8.25);
    row("Frame4", "Form1", {6450, 630, 1365, 1035}, "", "MS Sans Serif", 8.25);
    row("cOK", "Frame4", {120, 210, 1125, 315}, "&Tikkaru !", "Tahoma", 6.75);
    row("cExit", "Frame4", {120, 600, 1125, 315}, "Be&enden", "Tahoma", 6.75);
}

static QString Caption(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* s = qobject_cast<Satzfeld*>(w)) {
        return s->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    return {};
}

// Every control sits at its twips rectangle in its container, converted with the screen's
// twips per pixel, with its caption and font.
void TestForm1::layout() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(QString, family);
    QFETCH(double, points);
    FormFixture f;
    Form1& form = *f.form;
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(parent == "Form1" ? static_cast<QWidget*>(&form) : form.findChild<QWidget*>(parent),
             w->parentWidget());
    const QRect px(qRound(twips.x() / form.vTwipsX), qRound(twips.y() / form.vTwipsY),
                   qRound(twips.width() / form.vTwipsX), qRound(twips.height() / form.vTwipsY));
    QCOMPARE(w->geometry(), px);
    if (form.logicalDpiX() == 96) {
        QCOMPARE(form.vTwipsX, 15.0);
        QCOMPARE(w->geometry().topLeft(), twips.topLeft() / 15);
    }
    QCOMPARE(Caption(w), caption);
    QCOMPARE(w->font().family(), family);
    QCOMPARE(w->font().pointSizeF(), points);
    QVERIFY(!w->font().bold() && !w->font().italic() && !w->font().underline());
    // Where the classic faces fit, they are drawn as they are, not narrowed.
    QCOMPARE(w->font().stretch(), 0);
}

void TestForm1::captionsFit_data() {
    QTest::addColumn<QString>("name");
    for (const char* n : {"opMA", "opAU", "opMM", "opHH", "chSek", "Label1", "cOK", "cExit"}) {
        QTest::newRow(n) << n;
    }
}

// The darkest pixel's columns: the ink of a caption, the first and the last column.
static std::pair<int, int> Ink(const QImage& bild, int rand) {
    int links = bild.width(), rechts = -1;
    for (int y = rand; y < bild.height() - rand; ++y) {
        for (int x = rand; x < bild.width() - rand; ++x) {
            if (qGray(bild.pixel(x, y)) < 110) {
                links = std::min(links, x);
                rechts = std::max(rechts, x);
            }
        }
    }
    return {links, rechts};
}

// A control drawn as on the screen, at the screen's scale, but for its width.
static QImage Drawn(QWidget* w, int width) {
    const QSize size = w->size();
    const qreal dpr = w->devicePixelRatioF();
    w->resize(width, size.height());
    QImage bild(QSize(width, size.height()) * dpr, QImage::Format_RGB32);
    bild.setDevicePixelRatio(dpr);
    bild.fill(Qt::white);
    w->render(&bild);
    w->resize(size);
    return bild;
}

// Every caption is drawn whole inside its control, in whatever faces are installed and at
// whatever scale this runs (the test is run at 1, 1.5 and 2, with and without fonts-wine):
// drawn three times as wide, no ink lies beyond the control's own width.
void TestForm1::captionsFit() {
    QFETCH(QString, name);
    FormFixture f;
    QVERIFY(f.FillVoicesAndShowActive());
    auto* w = f.form->findChild<QWidget*>(name);
    QVERIFY(w);
    const qreal dpr = w->devicePixelRatioF();
    const int weit = 3 * w->width();
    const QImage bild = Drawn(w, weit);
    if (qobject_cast<QPushButton*>(w) != nullptr) {
        // Centred in a frame: the caption's ink is no wider than the space inside the frame.
        const int rahmen = qRound(3 * dpr);
        const auto [links, rechts] = Ink(bild, rahmen);
        QVERIFY(rechts >= links);
        QVERIFY2(rechts - links + 1 <= qRound(w->width() * dpr) - 2 * rahmen,
                 qPrintable(QString("%1 px of ink").arg(rechts - links + 1)));
    } else {
        const auto [links, rechts] = Ink(bild, 0);
        QVERIFY(rechts >= links);
        QVERIFY2(
            rechts < qRound(w->width() * dpr),
            qPrintable(QString("ink up to %1 of %2 px").arg(rechts + 1).arg(w->width() * dpr)));
    }
    // At scale 1 with the classic faces the font is the one of the layout (see layout()).
    qInfo("%s: %s %.2f pt, stretch %d, scale %.1f", qPrintable(name),
          qPrintable(QFontInfo(w->font()).family()), w->font().pointSizeF(), w->font().stretch(),
          dpr);
}

void TestForm1::designState() {
    FormFixture f;
    Form1& form = *f.form;
    QCOMPARE(form.windowTitle(), QString("Quorvane Tikkaru"));
    QCOMPARE(form.size(), QSize(qRound(7890 / form.vTwipsX), qRound(1740 / form.vTwipsY)));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!form.isVisible());
    QVERIFY(form.opMM->isChecked());
    QVERIFY(!form.opMA->isChecked() && !form.opAU->isChecked() && !form.opHH->isChecked());
    QVERIFY(!form.chSek->isChecked());
    QVERIFY(!form.chSek->isTristate());
    QVERIFY(form.TZ->isReadOnly() && form.TT->isReadOnly());
    QCOMPARE(form.TZ->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(form.coVoice->count(), 0);
    QVERIFY(!form.coVoice->isEditable());
    QVERIFY(form.cOK->isDefault());
    QCOMPARE(form.Timer1->interval(), 500);
    // The voice list is in front of the frame whose row it shares.
    const QObjectList kids = form.children();
    QVERIFY(kids.indexOf(form.coVoice) > kids.indexOf(form.Frame2));
}

void TestForm1::tabOrder() {
    FormFixture f;
    Form1& form = *f.form;
    const QList<QWidget*> expected = {form.TT,    form.opMA,    form.opAU, form.opMM,  form.opHH,
                                      form.chSek, form.coVoice, form.cOK,  form.cExit, form.TZ};
    for (int i = 0; i + 1 < expected.size(); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus) {
            next = next->nextInFocusChain();
        }
        QCOMPARE(next->objectName(), expected[i + 1]->objectName());
    }
    for (QWidget* w : {static_cast<QWidget*>(form.Frame1), static_cast<QWidget*>(form.Label1)}) {
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    }
}

// Continuous and manual check the seconds box, every minute and every hour clear it; the
// user's own choice stays until the next mode is chosen.
void TestForm1::coupling() {
    FormFixture f;
    Form1& form = *f.form;
    form.opAU->click();
    QVERIFY(form.chSek->isChecked());
    form.chSek->click();
    QVERIFY(!form.chSek->isChecked());
    QTest::qWait(1);
    QVERIFY(!form.chSek->isChecked());
    form.opMM->click();
    QVERIFY(!form.chSek->isChecked());
    form.opMA->click();
    QVERIFY(form.chSek->isChecked());
    form.opHH->click();
    QVERIFY(!form.chSek->isChecked());
    // Selected by code while hidden: the coupling applies, the focus stays where it is.
    form.opAU->setChecked(true);
    QVERIFY(form.chSek->isChecked());
    QVERIFY(!form.TT->hasFocus());
}

void TestForm1::accessKeys() {
    FormFixture f;
    Form1& form = *f.form;
    QVERIFY(f.FillVoicesAndShowActive());
    form.TT->setFocus();
    // The marks change at once, as by a click: Enter typed right after a key uses the new choice.
    QTest::keyClick(form.TT, Qt::Key_F, Qt::AltModifier);
    QVERIFY(form.opAU->isChecked());
    QVERIFY(form.chSek->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::AltModifier);
    QVERIFY(!form.chSek->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QVERIFY(form.opHH->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
    QVERIFY(form.opMA->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
    QVERIFY(form.opMM->isChecked());
    QCOMPARE(f.Announcements(), 0);
    // Alt+K and Enter at once: the seconds are spoken.
    f.clock.Set(12, 0, 7.0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::AltModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Announcements(), 1);
    f.SpeakToEnd();
    QVERIFY(std::any_of(f.played.begin(), f.played.end(),
                        [](const auto& p) { return p.highlighted.contains("Sekunden"); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier);
    QTRY_COMPARE(f.Announcements(), 2);
    QCOMPARE(f.endCalls, 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(f.endCalls, 1);
}

void TestForm1::keys_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("announcements");
    QTest::addColumn<int>("ends");
    QTest::addColumn<QString>("focusAfter");
    QTest::addColumn<bool>("announcedFirst"); // an announcement of the schedule heard before
    const auto row = [](const char* name, const char* mode, const char* focus, QKeySequence keys,
                        int announcements, int ends, const char* after, bool first = false) {
        QTest::newRow(name) << mode << focus << keys << announcements << ends << after << first;
    };
    const QKeyCombination keypadEnter(Qt::KeypadModifier, Qt::Key_Enter);
    row("Return in TT", "opMM", "TT", QKeySequence(Qt::Key_Return), 1, 0, "TT");
    row("Enter in TT", "opMM", "TT", QKeySequence(Qt::Key_Enter), 1, 0, "TT");
    row("keypad Enter in TT", "opMM", "TT", QKeySequence(keypadEnter), 1, 0, "TT");
    row("keypad Enter in the voice list", "opMM", "coVoice", QKeySequence(keypadEnter), 1, 0, "TT");
    // Enter on the focused exit button ends instead of announcing.
    row("Return on cExit", "opMM", "cExit", QKeySequence(Qt::Key_Return), 0, 1, "");
    row("keypad Enter on cExit", "opMM", "cExit", QKeySequence(keypadEnter), 0, 1, "");
    row("Esc in TT", "opMM", "TT", QKeySequence(Qt::Key_Escape), 0, 1, "");
    // The options are one tab stop, entered at the selected option: Space there keeps the mode.
    row("Tab from TT, every minute", "opMM", "TT", QKeySequence(Qt::Key_Tab), 0, 0, "opMM");
    row("Tab from TT, every hour", "opHH", "TT", QKeySequence(Qt::Key_Tab), 0, 0, "opHH");
    row("Tab from TT, manual", "opMA", "TT", QKeySequence(Qt::Key_Tab), 0, 0, "opMA");
    row("Shift+Tab from chSek", "opAU", "chSek", QKeySequence(Qt::SHIFT | Qt::Key_Tab), 0, 0,
        "opAU");
    row("Tab, Tab leaves the options", "opMM", "TT", QKeySequence(Qt::Key_Tab, Qt::Key_Tab), 0, 0,
        "chSek");
    row("Shift+Tab leaves the options", "opHH", "chSek",
        QKeySequence(Qt::SHIFT | Qt::Key_Tab, Qt::SHIFT | Qt::Key_Tab), 0, 0, "TT");
    row("Tab, Space keeps the mode", "opHH", "TT", QKeySequence(Qt::Key_Tab, Qt::Key_Space), 0, 0,
        "opHH");
    // The full minute disables the focused button: the focus goes to the sentence, not on to
    // the exit button, and Enter announces again instead of ending the clock.
    row("Enter after a full minute announced with the focus on cOK", "opMM", "cOK",
        QKeySequence(Qt::Key_Return), 2, 0, "TT", true);
}

// Keys pressed where the focus is, as a user types them.
void TestForm1::keys() {
    QFETCH(QString, mode);
    QFETCH(QString, focus);
    QFETCH(QKeySequence, keys);
    QFETCH(int, announcements);
    QFETCH(int, ends);
    QFETCH(QString, focusAfter);
    QFETCH(bool, announcedFirst);
    FormFixture f;
    Form1& form = *f.form;
    auto* option = form.findChild<QRadioButton*>(mode);
    QVERIFY(option);
    option->setChecked(true);
    const bool sekunden = form.chSek->isChecked();
    QVERIFY(f.FillVoicesAndShowActive());
    auto* start = form.findChild<QWidget*>(focus);
    start->setFocus();
    QTRY_VERIFY(start->hasFocus());
    if (announcedFirst) {
        f.Run(12, 33, 59.6, 1.0);
        QCOMPARE(form.vBusy, 1);
        f.SpeakToEnd();
    }
    for (int i = 0; i < keys.count(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), keys[i].key(), keys[i].keyboardModifiers());
    }
    QCOMPARE(f.Announcements(), announcements);
    QCOMPARE(f.endCalls, ends);
    if (!focusAfter.isEmpty()) {
        QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
    }
    QVERIFY(option->isChecked());
    QCOMPARE(form.chSek->isChecked(), sekunden);
}

// After a click the focus is in the sentence, and what the click changes of the display (the
// seconds, by the box or a mode's coupling) is shown at once, not at a later tick.
void TestForm1::focusInTTAfterClicks() {
    FormFixture f;
    Form1& form = *f.form;
    QVERIFY(f.FillVoicesAndShowActive());
    f.clock.Set(16, 17, 21.0);
    const auto shown = [&] {
        return form.TT->text() ==
               QString::fromStdString(AnzeigeSatz(f.clock.TimeText(), form.chSek->isChecked()));
    };
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             form.opAU, form.chSek, form.opHH, form.cOK, form.opMA}) {
        form.coVoice->setFocus();
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY2(form.TT->hasFocus(), qPrintable(b->objectName()));
        // While cOK's announcement is spoken, the sentence stays.
        QVERIFY2(form.vBusy == 1 || shown(), qPrintable(b->objectName()));
    }
    f.SpeakToEnd();
    QTest::mouseClick(form.chSek, Qt::LeftButton);
    QVERIFY(shown());
}

// The worked example: each word is highlighted when it is heard, the pause mark when the
// sound before it has ended, for 0.25 s; the highlight is gone afterwards. The window answers
// meanwhile: cOK returns before the first piece is heard.
void TestForm1::announcementWalk() {
    FormFixture f;
    Form1& form = *f.form;
    f.FillVoices();
    f.clock.Set(12, 23, 5.2);
    QStringList selections;
    QObject::connect(form.TT, &Satzfeld::selectionChanged,
                     [&] { selections << form.TT->selectedText(); });
    form.cOK->click();
    QVERIFY(f.played.empty());
    QCOMPARE(form.vBusy, 1);
    QVERIFY(!form.cOK->isEnabled());
    f.SpeakToEnd();
    QCOMPARE(f.played.size(), 8U);
    // zwoelf is heard 0.25 s after the end of ist.
    QVERIFY(std::abs(f.played[2].at - f.played[1].at - (f.player.seconds + 0.25)) < 1e-6);
    QCOMPARE(form.TZ->text(), QString("12:23:05"));
    QCOMPARE(form.TT->text(), QString(" Es ist ~ zwoelf  Uhr  drei-un-zwan-zig."));
    QStringList words;
    for (const auto& p : f.played) {
        words << p.highlighted;
        QCOMPARE(p.voice, 1);
    }
    QCOMPARE(words, QStringList({"Es", "ist", "zwoelf", "Uhr", "drei", "un", "zwan", "zig"}));
    // The highlight moves piece by piece in the order spoken, the pause included, then goes.
    QCOMPARE(selections,
             QStringList({"Es", "ist", "~", "zwoelf", "Uhr", "drei", "un", "zwan", "zig", ""}));
    QCOMPARE(f.player.drains, 1);
    QVERIFY(!form.TT->hasSelectedText());
    QCOMPARE(form.vBusy, 0);
    QVERIFY(form.cOK->isEnabled());
}

void TestForm1::highlightOrder_data() {
    QTest::addColumn<double>("piece");        // how long each recording is heard
    QTest::addColumn<QStringList>("files");   // the pieces the own voice has
    QTest::addColumn<QStringList>("failing"); // the recordings the player cannot play
    QTest::addColumn<bool>("silence");        // the player plays the pause as silence
    const QStringList alle = {"es", "ist", "zwoelf", "uhr", "drei", "un", "zwan", "zig"};
    QTest::newRow("a 20 ms es.wav, every other piece missing")
        << 0.02 << QStringList{"es"} << QStringList{} << false;
    QTest::newRow("silent pieces between heard ones")
        << 0.3 << QStringList{"es", "ist", "uhr", "zwan"} << QStringList{} << false;
    QTest::newRow("short pieces, some silent")
        << 0.03 << QStringList{"es", "zwoelf", "uhr", "un", "zig"} << QStringList{} << false;
    QTest::newRow("recordings that cannot be played")
        << 0.3 << alle << QStringList{"ist", "drei"} << false;
    QTest::newRow("no sound server") << 0.3 << alle << alle << false;
    QTest::newRow("the pause as silence") << 0.3 << alle << QStringList{} << true;
    QTest::newRow("the pause as silence after a missing piece")
        << 0.3 << QStringList{"es", "zwoelf", "uhr"} << QStringList{} << true;
}

// Whatever is heard, every word is highlighted in its turn, in the order of the sentence, and
// a word that is not heard (no recording, or one the player cannot play) not before the sound
// before it has been heard to its end. The player asks for the next piece 50 ms before the
// end of one, and the first is heard 10 ms after it is handed over: a short piece is asked to
// be followed before it is heard.
void TestForm1::highlightOrder() {
    QFETCH(double, piece);
    QFETCH(QStringList, files);
    QFETCH(QStringList, failing);
    QFETCH(bool, silence);
    FormFixture f;
    Form1& form = *f.form;
    QTemporaryDir dir;
    for (const QString& name : files) {
        std::ofstream(dir.filePath(name + ".wav").toStdString()) << "RIFF";
    }
    form.sDataPath = dir.path().toStdString() + "/";
    f.FillVoices();
    form.coVoice->addItem("Externe Stimme");
    form.coVoice->setCurrentIndex(form.coVoice->count() - 1);
    f.player.seconds = piece;
    f.player.ahead = 0.05;
    f.player.latency = 0.01;
    f.player.playsSilence = silence;
    const auto wortVon = [](const FakePlayer::Call& c) {
        return QString::fromStdString(c.path).section('/', -1).chopped(4);
    };
    f.player.unplayable = [&](const FakePlayer::Call& c) { return failing.contains(wortVon(c)); };
    // Each highlight with its moment, and the time each heard sound ends.
    std::vector<std::pair<QString, double>> selections;
    std::vector<double> heardEnds;
    QObject::connect(form.TT, &Satzfeld::selectionChanged, [&] {
        selections.emplace_back(form.TT->selectedText(), f.clock.MonotonicSeconds());
    });
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        heardEnds.push_back(f.clock.MonotonicSeconds() + piece);
        base(call);
    };
    f.clock.Set(12, 23, 5.0);
    form.Tikkaru();
    f.SpeakToEnd();
    QStringList order;
    for (const auto& [text, at] : selections) {
        order << text;
        const QString wort = text.toLower();
        if (text.isEmpty() || (files.contains(wort) && !failing.contains(wort))) {
            continue;
        }
        // Silent: after every sound that began before it has ended.
        for (const double ende : heardEnds) {
            if (ende - piece < at - 1e-9) {
                QVERIFY2(at >= ende - 1e-9,
                         qPrintable(QString("%1 %2 s early").arg(text).arg(ende - at)));
            }
        }
    }
    QCOMPARE(order,
             QStringList({"Es", "ist", "~", "zwoelf", "Uhr", "drei", "un", "zwan", "zig", ""}));
    QCOMPARE(form.vBusy, 0);
    if (silence) {
        // The pause went to the player; the word after it starts when it ends.
        QCOMPARE(f.player.pauses, std::vector<double>{0.25});
        const auto at = [&](const QString& text) {
            return std::find_if(selections.begin(), selections.end(),
                                [&](const auto& s) { return s.first == text; })
                ->second;
        };
        if (files.contains("zwoelf")) {
            QVERIFY(std::abs(at("zwoelf") - at("~") - 0.25) < 1e-6);
        }
    }
}

// While it speaks: the button is disabled, a second request is dropped, and the display
// stays as the announcement put it.
void TestForm1::busyDuringAnnouncement() {
    FormFixture f;
    Form1& form = *f.form;
    f.FillVoices();
    f.clock.Set(9, 0, 30.0);
    // What each piece saw, recorded here and checked after the announcement.
    struct Inside {
        bool buttonEnabled;
        int busy;
        QString tz, tt;
    };
    std::vector<Inside> inside;
    f.player.onHeard = [&](const FakePlayer::Call&) {
        const bool enabled = form.cOK->isEnabled();
        const int busy = form.vBusy;
        form.Tikkaru();      // dropped
        form.cOK->click();   // disabled: no effect
        form.Timer1_Timer(); // neither refreshes nor announces
        inside.push_back({enabled, busy, form.TZ->text(), form.TT->text()});
    };
    form.Tikkaru();
    f.SpeakToEnd();
    QCOMPARE(inside.size(), 4u); // Es ist neun Uhr, once
    for (const Inside& i : inside) {
        QVERIFY(!i.buttonEnabled);
        QCOMPARE(i.busy, 1);
        QCOMPARE(i.tz, QString("09:00:30"));
        QCOMPARE(i.tt, QString(" Es ist ~ neun  Uhr."));
    }
    QCOMPARE(f.player.drains, 1);
    QVERIFY(form.cOK->isEnabled());
    form.Timer1_Timer();
    QCOMPARE(form.TT->text(), QString(" Es ist  neun  Uhr."));
}

void TestForm1::voiceChangeDuringAnnouncement_data() {
    QTest::addColumn<int>("during");   // the piece (0-based, as heard) the voice is chosen in
    QTest::addColumn<double>("after"); // seconds after it started to be heard
    QTest::addColumn<int>("firstNew"); // the first piece heard in the new voice
    // ist, Uhr and the pieces after it follow each other without a pause.
    QTest::newRow("as ist starts") << 1 << 0.0 << 2;
    QTest::newRow("as Uhr starts") << 3 << 0.0 << 4;
    QTest::newRow("just before Uhr is nearly over") << 3 << 0.249 << 4;
    // The next piece is with the player already, so that it follows without a gap: the bound.
    QTest::newRow("in the last 50 ms of Uhr") << 3 << 0.27 << 5;
}

// Another voice chosen while a sentence is spoken takes over at the next piece that has not
// been handed to the player, which takes each piece 50 ms before the one before it ends.
void TestForm1::voiceChangeDuringAnnouncement() {
    QFETCH(int, during);
    QFETCH(double, after);
    QFETCH(int, firstNew);
    FormFixture f;
    Form1& form = *f.form;
    f.FillVoices();
    f.player.ahead = 0.05;
    f.clock.Set(12, 23, 5.0);
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        base(call);
        if (f.played.size() == static_cast<std::size_t>(during) + 1) {
            f.clock.Wecke(after, [&] { form.coVoice->setCurrentIndex(2); });
        }
    };
    form.Tikkaru();
    f.SpeakToEnd();
    QCOMPARE(f.played.size(), 8u);
    for (std::size_t i = 0; i < f.played.size(); ++i) {
        QCOMPARE(f.played[i].voice, static_cast<int>(i) < firstNew ? 1 : 3);
    }
}

void TestForm1::reportsAfterTheEnd_data() {
    QTest::addColumn<bool>("window");
    QTest::newRow("announcement dropped") << false;
    QTest::newRow("window ended") << true;
}

// The player's and the clock's reports reach an announcement only while it exists: dropped,
// or ended with its window, while reports are still on their way, it is told nothing more
// and asks for nothing more.
void TestForm1::reportsAfterTheEnd() {
    QFETCH(bool, window);
    FormFixture f;
    f.FillVoices();
    f.clock.Set(12, 23, 5.0);
    f.player.onHeard = {};
    int highlights = 0;
    bool ended = false;
    std::shared_ptr<Ansage> ansage;
    if (window) {
        f.form->Tikkaru();
    } else {
        ansage = Ansage::Starte("Es ist zwoelf Uhr.", f.player, f.clock,
                                {[&](int, int) { ++highlights; },
                                 [&](const std::string& wort, Meldung meldung) {
                                     f.player.PlayImage(LadeAufnahme(wort, 1), std::move(meldung));
                                     return true;
                                 }},
                                [&](const Ergebnis&) { ended = true; });
    }
    f.clock.Advance(0.35); // the first piece heard, the second handed over
    QCOMPARE(f.player.calls.size(), 2u);
    const int seen = highlights;
    if (window) {
        f.form.reset();
    } else {
        ansage.reset();
    }
    f.clock.Advance(10);
    QCOMPARE(highlights, seen);
    QVERIFY(!ended);
    QCOMPARE(f.player.calls.size(), 2u);
    QCOMPARE(f.player.drains, 0);
}

void TestForm1::handedOver_data() {
    QTest::addColumn<bool>("box");      // the check box before and after
    QTest::addColumn<bool>("seconds");  // as asked
    QTest::addColumn<int>("voice");     // as asked; 0: the selected one
    QTest::addColumn<int>("heard");     // the voice heard (the list selects 2)
    QTest::addColumn<QString>("state"); // "busy", "ended", "failing", "failed before", "frozen", ""
    QTest::addColumn<int>("status");
    QTest::newRow("seconds asked, box unchecked") << false << true << 0 << 2 << "" << 0;
    QTest::newRow("no seconds asked, box checked") << true << false << 0 << 2 << "" << 0;
    QTest::newRow("voice asked") << false << false << 4 << 4 << "" << 0;
    QTest::newRow("voice beyond the list: the first, as on the command line")
        << false << false << 7 << 1 << "" << 0;
    QTest::newRow("speaking already: busy, nothing queued")
        << false << true << 0 << 0 << "busy" << 10;
    QTest::newRow("ending: nothing said") << false << true << 0 << 0 << "ended" << 8;
    QTest::newRow("a piece not heard") << false << false << 0 << 2 << "failing" << 5;
    QTest::newRow("an earlier announcement's failure is not this one's")
        << false << false << 0 << 2 << "failed before" << 0;
    // A one-shot's sentence, whatever the window's mode (manual here): as spoken without the
    // window, no seconds at second 0.
    QTest::newRow("seconds asked at second 0") << true << true << 0 << 2 << "second 0" << 0;
    QTest::newRow("frozen mid-sentence: the stale rest not spoken")
        << false << true << 0 << 2 << "frozen" << 8;
}

// A request handed over by another copy: spoken as the button does, with its own seconds and
// voice, the window's choices left as they were, and the status of this announcement when it
// has been heard.
void TestForm1::handedOver() {
    QFETCH(bool, box);
    QFETCH(bool, seconds);
    QFETCH(int, voice);
    QFETCH(int, heard);
    QFETCH(QString, state);
    QFETCH(int, status);
    FormFixture f;
    Form1& form = *f.form;
    f.FillVoices();
    form.coVoice->setCurrentIndex(1);
    form.opMA->setChecked(true);
    form.chSek->setChecked(box);
    f.clock.Set(12, 23, state == "second 0" ? 0.0 : 5.0);
    if (state == "failed before") {
        f.player.failure = PlayFailure::NoServer;
        form.Tikkaru();
        f.SpeakToEnd();
        f.player.failure = PlayFailure::None;
        f.player.drains = 0;
        f.played.clear();
    }
    if (state == "busy") {
        form.vBusy = 1;
    }
    if (state == "ended") {
        form.Form_Unload();
    }
    QString spoken;
    auto base = f.player.onHeard;
    f.player.onHeard = [&](const FakePlayer::Call& call) {
        base(call);
        spoken = form.TT->text();
        if (state == "failing" && f.played.size() == 3) {
            f.player.Fail(PlayFailure::ServerLost);
        }
        if (state == "frozen" && f.played.size() == 3) {
            f.clock.Freeze(14);
        }
    };
    int answered = -1;
    form.SageAufAnfrage(seconds, voice,
                        [&](int s, const std::vector<std::string>&) { answered = s; });
    if (heard == 0) {
        QCOMPARE(answered, status);
        f.RunFor(1);
        QVERIFY(f.played.empty());
        return;
    }
    QCOMPARE(answered, -1); // answered when it has been heard
    f.SpeakToEnd();
    QCOMPARE(answered, status);
    QCOMPARE(form.chSek->isChecked(), box);
    QCOMPARE(form.coVoice->currentIndex(), 1);
    QCOMPARE(f.player.drains, 1);
    QCOMPARE(f.played.size() == 3, state == "frozen");
    QCOMPARE(spoken.contains("Sekunden"), seconds && state != "second 0");
    for (const auto& p : f.played) {
        QCOMPARE(p.voice, heard);
    }
    QCOMPARE(form.vBusy, 0);
    // The display goes back to what the window's own choices show.
    form.Timer1_Timer();
    QCOMPARE(form.TT->text().contains("Sekunden"), box);
    // A later announcement of the window itself speaks its own choices again.
    f.played.clear();
    form.Tikkaru();
    f.SpeakToEnd();
    QCOMPARE(spoken.contains("Sekunden"), box);
    QCOMPARE(f.played.front().voice, 2);
}

void TestForm1::displayRefresh() {
    FormFixture f;
    Form1& form = *f.form;
    f.clock.Set(16, 17, 21.0);
    form.ZeigeZeit();
    QCOMPARE(form.TZ->text(), QString("16:17:21"));
    QCOMPARE(form.TT->text(), QString::fromUtf8(" Es ist  sech-zehn  Uhr  sieb-zehn."));
    form.chSek->setChecked(true);
    form.ZeigeZeit();
    QCOMPARE(
        form.TT->text(),
        QString::fromUtf8(" Es ist  sech-zehn  Uhr  sieb-zehn  und  ein-und-zwan-zig  Sekunden."));
    // A long sentence is shown from its beginning.
    QCOMPARE(form.TT->cursorPosition(), 0);
}

void TestForm1::boxesDrawnAsPlain_data() {
    QTest::addColumn<QString>("zustand");
    QTest::newRow("shown") << "shown";
    QTest::newRow("new time and sentence") << "tick";
    QTest::newRow("focus on the button") << "fokus";
    QTest::newRow("word highlighted") << "markiert";
}

// The digits' and the sentence's boxes, whose frames are drawn once and then copied, look
// exactly as boxes drawn afresh by the style, corners over the frame beneath included.
void TestForm1::boxesDrawnAsPlain() {
    QFETCH(QString, zustand);
    FormFixture f;
    QVERIFY(f.FillVoicesAndShowActive());
    Form1& form = *f.form;
    const auto bild = [&form] { return form.grab(form.Frame1->geometry()).toImage(); };
    bild(); // the frames as first drawn, now copied
    if (zustand == "tick") {
        form.TZ->setText("23:59:58");
        form.TT->setText(QString::fromUtf8(" Es ist  drei-und-zwan-zig  Uhr."));
    } else if (zustand == "fokus") {
        form.cOK->setFocus();
    } else if (zustand == "markiert") {
        form.TT->setSelection(4, 3);
    }
    QCoreApplication::processEvents();
    const QImage gepuffert = bild();
    for (QWidget* box : std::initializer_list<QWidget*>{form.TZ, form.TT}) {
        box->setStyle(nullptr);
        box->setAttribute(Qt::WA_OpaquePaintEvent, false);
    }
    QCOMPARE(gepuffert, bild());
}

void TestForm1::timeBoxesDrawnAsLineEdit_data() {
    QTest::addColumn<QString>("kasten");
    QTest::addColumn<QStringList>("saetze");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("laenge");
    QTest::addColumn<bool>("fokus");
    const QString minute = QString::fromUtf8(" Es ist  zwölf  Uhr  drei-und-zwan-zig  und  ");
    const QStringList sekunden = {minute + "fünf  Sekunden.", minute + "sechs  Sekunden.",
                                  minute + "sieb-zehn  Sekunden.", minute + "acht  Sekunden."};
    QTest::newRow("seconds ticking") << "TT" << sekunden << 0 << 0 << false;
    QTest::newRow("minute changing")
        << "TT"
        << (sekunden +
            QStringList{QString::fromUtf8(" Es ist  zwölf  Uhr  vier-und-zwan-zig  und  null  "
                                          "Sekunden."),
                        QString::fromUtf8(" Es ist  neun  Uhr.")})
        << 0 << 0 << false;
    QTest::newRow("piece highlighted") << "TT" << sekunden << 9 << 5 << false;
    QTest::newRow("highlight at the end") << "TT" << sekunden << 44 << 4 << false;
    QTest::newRow("focused by Tab") << "TT" << sekunden << 0 << 0 << true;
    const QStringList ziffern = {"12:34:56", "12:34:57", "12:35:00", "09:00:00", "10:11:11"};
    QTest::newRow("digits ticking") << "TZ" << ziffern << 0 << 0 << false;
    QTest::newRow("digits focused by Tab") << "TZ" << ziffern << 0 << 0 << true;
}

// The time's boxes look as a read-only line edit in its place, in its font, colours and
// style, also after ticks that redraw only the time's changed end: what reaches the screen
// leaves nothing of the text before.
void TestForm1::timeBoxesDrawnAsLineEdit() {
    QFETCH(QString, kasten);
    QFETCH(QStringList, saetze);
    QFETCH(int, start);
    QFETCH(int, laenge);
    QFETCH(bool, fokus);
    FormFixture f;
    QVERIFY(f.FillVoicesAndShowActive());
    Form1& form = *f.form;
    Satzfeld* feld = kasten == "TZ" ? form.TZ : form.TT;
    form.cOK->setFocus(); // the box focused only where the row says so
    const auto bildschirm = [&form, feld] {
        QTest::qWait(30); // the repaint, as it reaches the screen
        const QRect r(feld->mapTo(&form, QPoint(0, 0)), feld->size());
        return form.screen()
            ->grabWindow(form.winId(), r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    for (const QString& satz : saetze) {
        feld->setText(satz);
        feld->setCursorPosition(0);
        bildschirm();
    }
    if (laenge > 0) {
        feld->setSelection(start, laenge);
    }
    if (fokus) {
        feld->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(feld->hasFocus());
    }
    const QImage satzfeld = bildschirm();
    const QString markiert = feld->selectedText();

    QLineEdit vorbild(feld->parentWidget());
    vorbild.setGeometry(feld->geometry());
    vorbild.setFont(feld->font());
    vorbild.setPalette(feld->palette());
    vorbild.setStyle(feld->style());
    vorbild.setAttribute(Qt::WA_OpaquePaintEvent);
    vorbild.setReadOnly(true);
    vorbild.setAlignment(feld->alignment());
    vorbild.setText(feld->text());
    vorbild.setCursorPosition(0);
    if (laenge > 0) {
        vorbild.setSelection(start, laenge);
    }
    vorbild.show();
    vorbild.raise();
    if (fokus) {
        vorbild.setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(vorbild.hasFocus());
        QCOMPARE(markiert, feld->text());
        QCOMPARE(vorbild.selectedText(), markiert);
    }
    QCOMPARE(bildschirm(), satzfeld);
}

void TestForm1::sentenceSelectedAndCopied_data() {
    QTest::addColumn<QString>("wie");
    QTest::addColumn<QString>("markiert");
    const QString satz = QString::fromUtf8(" Es ist  zwölf  Uhr  drei-und-zwan-zig.");
    QTest::newRow("Home, Shift+End") << "Shift+End" << satz;
    QTest::newRow("Ctrl+A") << "Ctrl+A" << satz;
    QTest::newRow("Shift+Left twice from End") << "Shift+Left" << QString("g.");
    QTest::newRow("dragged with the mouse") << "ziehen" << QString("ist");
    QTest::newRow("word double-clicked") << "doppelt" << QString::fromUtf8("zwölf");
}

// The sentence can be selected by keyboard and mouse, as in a line edit, and Ctrl+C copies
// what is selected; a mouse selection is offered as the X selection too.
void TestForm1::sentenceSelectedAndCopied() {
    QFETCH(QString, wie);
    QFETCH(QString, markiert);
    FormFixture f;
    QVERIFY(f.FillVoicesAndShowActive());
    Form1& form = *f.form;
    form.TT->setText(QString::fromUtf8(" Es ist  zwölf  Uhr  drei-und-zwan-zig."));
    form.TT->setFocus();
    QTRY_VERIFY(form.TT->hasFocus());
    QGuiApplication::clipboard()->clear();
    const auto mitte = [&form](int von, int bis) {
        const QRect a = form.TT->Zeichenfeld(von);
        return QPoint((a.left() + form.TT->Zeichenfeld(bis).left()) / 2, a.center().y());
    };
    if (wie == "Shift+End") {
        QTest::keyClick(form.TT, Qt::Key_Home);
        QTest::keyClick(form.TT, Qt::Key_End, Qt::ShiftModifier);
    } else if (wie == "Ctrl+A") {
        QTest::keyClick(form.TT, Qt::Key_A, Qt::ControlModifier);
    } else if (wie == "Shift+Left") {
        QTest::keyClick(form.TT, Qt::Key_End);
        QTest::keyClick(form.TT, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(form.TT, Qt::Key_Left, Qt::ShiftModifier);
    } else if (wie == "ziehen") {
        const QPoint von(form.TT->Zeichenfeld(4).left(), form.TT->height() / 2);
        const QPoint bis(form.TT->Zeichenfeld(7).left(), form.TT->height() / 2);
        QTest::mousePress(form.TT, Qt::LeftButton, {}, von);
        QTest::mouseMove(form.TT, bis);
        QTest::mouseRelease(form.TT, Qt::LeftButton, {}, bis);
        if (QGuiApplication::clipboard()->supportsSelection()) {
            QTRY_COMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), markiert);
        }
    } else if (wie == "doppelt") {
        QTest::mouseDClick(form.TT, Qt::LeftButton, {}, mitte(10, 11));
    }
    QCOMPARE(form.TT->selectedText(), markiert);
    QTest::keyClick(form.TT, Qt::Key_C, Qt::ControlModifier);
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), markiert);
    // The text itself stays as it was: the box is read-only.
    QTest::keyClick(form.TT, Qt::Key_X);
    QCOMPARE(form.TT->text(), QString::fromUtf8(" Es ist  zwölf  Uhr  drei-und-zwan-zig."));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
