// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormFixture.h"
#include "ScreenPlacement.h"
#include "mEinmal.h"
#include "mSignale.h"
#include "mZeitSatz.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <optional>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Start-up and shutdown against a settings file and a working directory of each test's own.
class TestStart : public QObject {
    Q_OBJECT
private slots:
    void init();
    void firstStart();
    void storedModes_data();
    void storedModes();
    void storedValues_data();
    void storedValues();
    void screenPlacement_data();
    void screenPlacement();
    void externalVoice();
    void secondArgumentSelectsAndIsWritten();
    void shutdownMinimisedKeepsPosition();
    void oneShot_data();
    void oneShot();
    void previousInstance_data();
    void previousInstance();
    void unloadBeforeLoadWritesNothing();
    void corruptFileKeptUntilShutdown();
    void settingsPathKinds_data();
    void settingsPathKinds();
    void windowStatusesInDocs_data();
    void windowStatusesInDocs();
    void waitWithoutEventLoop_data();
    void waitWithoutEventLoop();

private:
    QString Conf() const { return config_->path() + "/Quorvane.conf"; }
    void Store(const QByteArray& body) {
        QFile f(Conf());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    }
    QByteArray Stored() const {
        QFile f(Conf());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString Value(const char* key) const {
        QSettings s(Conf(), QSettings::IniFormat);
        return s.value(QString("Tikkaru/") + key).toString();
    }
    Prozess Process(const std::string& cmd = "") const {
        Prozess p;
        p.Argumente = LiesAufruf(cmd);
        p.CurrentDir = work_->path().toStdString();
        return p;
    }
    void MakeDataFile(const QString& dirName, const QString& file, const QByteArray& body) {
        QDir(work_->path()).mkpath(dirName);
        QFile f(work_->path() + "/" + dirName + "/" + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    }

    std::unique_ptr<QTemporaryDir> config_;
    std::unique_ptr<QTemporaryDir> work_;
};

void TestStart::init() {
    config_ = std::make_unique<QTemporaryDir>();
    work_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_->path()));
}

void TestStart::firstStart() {
    FormFixture f(Process());
    Form1& form = *f.form;
    f.clock.Set(12, 23, 5.0);
    form.Form_Load();
    QCOMPARE(f.endCalls, 0);
    QVERIFY(form.isVisible());
    QCOMPARE(form.pos(), QPoint(32, 32));
    QCOMPARE(form.coVoice->count(), 4);
    QCOMPARE(form.coVoice->currentIndex(), 0);
    QCOMPARE(form.coVoice->itemText(3), QString("Stimme #4:  Computer"));
    QVERIFY(form.opMM->isChecked());
    QVERIFY(!form.chSek->isChecked());
    QCOMPARE(form.windowTitle(), QString("Quorvane Tikkaru  Version 1.00 - 28.05.2014"));
    QCOMPARE(form.TZ->text(), QString("12:23:05"));
    QCOMPARE(form.vLoaded, 1);
    QVERIFY(form.sDataPath.ends_with("/DATA/"));
    QCOMPARE(QString::fromStdString(form.sDataPath), work_->path() + "/DATA/");
    QCOMPARE(form.sRegApp, std::string("Quorvane"));
    QCOMPARE(form.sRegSection, std::string("Tikkaru"));
    QVERIFY(Stored().isEmpty());

    // The session's commit at logout writes the settings, and the clock goes on.
    form.opHH->click();
    form.SichereEinstellungen();
    QCOMPARE(f.endCalls, 0);
    QCOMPARE(Value("Mode"), QString("4"));
    form.opMM->click();

    form.Form_Unload();
    QCOMPARE(f.endCalls, 1);
    QCOMPARE(Value("WinLeft"), QString("32"));
    QCOMPARE(Value("WinTop"), QString("32"));
    QCOMPARE(Value("Mode"), QString("3"));
    QCOMPARE(Value("Voice"), QString("0"));
    QCOMPARE(Value("Sekunden"), QString("0"));
}

void TestStart::storedModes_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("sekunden");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("checked");
    QTest::newRow("manual, 0") << QByteArray("1") << QByteArray("0") << "opMA" << true;
    QTest::newRow("continuous, 0") << QByteArray("2") << QByteArray("0") << "opAU" << true;
    QTest::newRow("minute, 0") << QByteArray("3") << QByteArray("0") << "opMM" << false;
    QTest::newRow("minute, 1") << QByteArray("3") << QByteArray("1") << "opMM" << true;
    QTest::newRow("hour, 1") << QByteArray("4") << QByteArray("1") << "opHH" << true;
    QTest::newRow("hour, 0") << QByteArray("4") << QByteArray("0") << "opHH" << false;
    QTest::newRow("unknown mode") << QByteArray("7") << QByteArray("0") << "opMM" << false;
    QTest::newRow("seconds not exactly 1")
        << QByteArray("4") << QByteArray("01") << "opHH" << false;
}

// The stored mode applies its preset to the seconds box; a stored "1" checks it on top.
void TestStart::storedModes() {
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, sekunden);
    QFETCH(QString, option);
    QFETCH(bool, checked);
    Store("[Tikkaru]\nMode=" + mode + "\nSekunden=" + sekunden + "\n");
    FormFixture f(Process());
    f.form->Form_Load();
    QVERIFY(f.form->findChild<QRadioButton*>(option)->isChecked());
    QCOMPARE(f.form->chSek->isChecked(), checked);
    f.form->Form_Unload();
    QCOMPARE(Value("Mode"), QString(mode == "7" ? "3" : mode));
}

void TestStart::storedValues_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("voice");
    QTest::newRow("position and voice")
        << QByteArray("WinLeft=100\nWinTop=200\nVoice=2") << QPoint(100, 200) << 2;
    QTest::newRow("negative position clamped")
        << QByteArray("WinLeft=-500\nWinTop=-1") << QPoint(0, 0) << 0;
    QTest::newRow("beyond the screen kept")
        << QByteArray("WinLeft=5000\nWinTop=4000") << QPoint(5000, 4000) << 0;
    // The screens: 1280x800 at 0,0 and 1920x1200 at 4000,3000 (main below); the window is
    // 526x116.
    QTest::newRow("off every screen: wholly onto the nearest")
        << QByteArray("WinLeft=1500\nWinTop=900") << QPoint(754, 684) << 0;
    QTest::newRow("partly past the right edge: moved in")
        << QByteArray("WinLeft=1000\nWinTop=100") << QPoint(754, 100) << 0;
    QTest::newRow("partly past the second screen's edge: onto it")
        << QByteArray("WinLeft=5700\nWinTop=4150") << QPoint(5394, 4084) << 0;
    QTest::newRow("voice beyond the list") << QByteArray("Voice=4") << QPoint(32, 32) << 0;
    QTest::newRow("no voice selected") << QByteArray("Voice=-1") << QPoint(32, 32) << -1;
    QTest::newRow("not numbers") << QByteArray("WinLeft=abc\nWinTop=\nVoice=zwei") << QPoint(32, 32)
                                 << 0;
    QTest::newRow("voice below -1") << QByteArray("Voice=-7") << QPoint(32, 32) << 0;
    QTest::newRow("too large") << QByteArray("WinLeft=1e300\nWinTop=99999999999\nVoice=1e20")
                               << QPoint(32, 32) << 0;
    QTest::newRow("voice not whole") << QByteArray("Voice=1.5") << QPoint(32, 32) << 0;
}

// Whatever the file holds, the window opens, on a screen; values that are no sensible number
// are their defaults. Shutdown stores where the window is.
void TestStart::storedValues() {
    QFETCH(QByteArray, body);
    QFETCH(QPoint, pos);
    QFETCH(int, voice);
    Store("[Tikkaru]\n" + body + "\n");
    FormFixture f(Process());
    f.form->Form_Load();
    QCOMPARE(f.form->pos(), pos);
    QCOMPARE(f.form->coVoice->currentIndex(), voice);
    f.form->Form_Unload();
    QCOMPARE(Value("Voice"), QString::number(voice));
    QCOMPARE(Value("WinLeft"), QString::number(pos.x()));
    QCOMPARE(Value("WinTop"), QString::number(pos.y()));
}

void TestStart::screenPlacement_data() {
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QPoint>("pos");
    const QRect small(0, 0, 1024, 768);
    const QList<QRect> two = {{0, 0, 1280, 800}, {1280, -200, 1080, 1920}};
    QTest::newRow("wholly on the screen")
        << QRect(10, 20, 526, 116) << QList{small} << QPoint(10, 20);
    QTest::newRow("filling the screen exactly")
        << QRect(0, 0, 1024, 768) << QList{small} << QPoint(0, 0);
    QTest::newRow("one pixel past the right edge")
        << QRect(499, 0, 526, 116) << QList{small} << QPoint(498, 0);
    QTest::newRow("past the bottom edge")
        << QRect(5, 700, 526, 116) << QList{small} << QPoint(5, 652);
    QTest::newRow("wider than the screen: its left edge at the screen's (scale 2 on 1024 px)")
        << QRect(32, 32, 526, 116) << QList{QRect(0, 0, 512, 384)} << QPoint(0, 32);
    QTest::newRow("taller than the screen: its top at the screen's")
        << QRect(40, 50, 300, 500) << QList{QRect(0, 0, 800, 400)} << QPoint(40, 0);
    QTest::newRow("across two screens, wholly shown: kept")
        << QRect(1000, 100, 526, 116) << two << QPoint(1000, 100);
    QTest::newRow("across two screens, partly in the gap above the first: onto the second")
        << QRect(1200, -150, 526, 116) << two << QPoint(1280, -150);
    QTest::newRow("off both: onto the nearest, below the second")
        << QRect(2000, 3000, 526, 116) << two << QPoint(1834, 1604);
    QTest::newRow("a monitor unplugged: onto the one left")
        << QRect(3000, 2000, 526, 116) << QList{QRect(0, 0, 1920, 1080)} << QPoint(1394, 964);
    QTest::newRow("a screen left of the first")
        << QRect(-600, 10, 526, 116) << QList<QRect>{{0, 0, 800, 600}, {-1024, 0, 1024, 768}}
        << QPoint(-600, 10);
    QTest::newRow("no screens: kept")
        << QRect(3000, 2000, 526, 116) << QList<QRect>{} << QPoint(3000, 2000);
    QTest::newRow("empty screens left out")
        << QRect(3000, 2000, 526, 116) << QList<QRect>{{}, {0, 0, 800, 600}} << QPoint(274, 484);
}

// Where the window goes on the screens there are.
void TestStart::screenPlacement() {
    QFETCH(QRect, window);
    QFETCH(QList<QRect>, screens);
    QFETCH(QPoint, pos);
    QCOMPARE(OnScreens(window, screens), pos);
}

void TestStart::externalVoice() {
    // An empty es.wav adds nothing.
    MakeDataFile("DATA", "es.wav", "");
    {
        FormFixture f(Process());
        f.form->Form_Load();
        QCOMPARE(f.form->coVoice->count(), 4);
    }
    // The folder and the file are found whatever their letter case.
    QVERIFY(QDir(work_->path()).rename("DATA", "data"));
    QVERIFY(QFile::remove(work_->path() + "/data/es.wav"));
    MakeDataFile("data", "ES.WAV", "RIFF....");
    Store("[Tikkaru]\nVoice=4\n");
    {
        FormFixture f(Process());
        f.form->Form_Load();
        QCOMPARE(f.form->coVoice->count(), 5);
        QCOMPARE(f.form->coVoice->itemText(4), QString("Externe Stimme"));
        QCOMPARE(f.form->coVoice->currentIndex(), 4);
        QCOMPARE(QString::fromStdString(f.form->sDataPath), work_->path() + "/data/");
    }
    // Stored "4" after the folder has gone selects entry 0.
    QVERIFY(QDir(work_->path() + "/data").removeRecursively());
    {
        FormFixture f(Process());
        f.form->Form_Load();
        QCOMPARE(f.form->coVoice->count(), 4);
        QCOMPARE(f.form->coVoice->currentIndex(), 0);
    }
}

void TestStart::secondArgumentSelectsAndIsWritten() {
    Store("[Tikkaru]\nVoice=3\n");
    FormFixture f(Process("x 2"));
    f.form->Form_Load();
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->coVoice->currentIndex(), 1);
    f.form->Form_Unload();
    QCOMPARE(Value("Voice"), QString("1"));
}

void TestStart::shutdownMinimisedKeepsPosition() {
    for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        Store("[Tikkaru]\nWinLeft=100\nWinTop=120\nMode=3\n");
        FormFixture f(Process());
        f.form->Form_Load();
        f.form->move(300, 300);
        f.form->opHH->click();
        f.form->setWindowState(state);
        f.form->Form_Unload();
        QCOMPARE(Value("WinLeft"), QString("100"));
        QCOMPARE(Value("WinTop"), QString("120"));
        QCOMPARE(Value("Mode"), QString("4"));
    }
}

void TestStart::oneShot_data() {
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<int>("voice");
    QTest::addColumn<bool>("seconds");
    QTest::addColumn<PlayFailure>("failure");
    QTest::addColumn<bool>("unloadWhileSpeaking");
    QTest::addColumn<int>("status");
    const auto ok = PlayFailure::None;
    QTest::newRow("! 3") << "! 3" << 3 << false << ok << false << 0;
    QTest::newRow("!! 9: beyond the list") << "!! 9" << 1 << true << ok << false << 0;
    // As a window in any mode speaks it when handed over: no seconds at second 0.
    QTest::newRow("!! at second 0") << "!!" << 2 << false << ok << false << 0;
    QTest::newRow("!  2: empty second argument") << "!  2" << 2 << false << ok << false << 0;
    QTest::newRow("quoted '! 2' is no request") << "\"! 2\"" << 0 << false << ok << false << 0;
    QTest::newRow("! 0.3: the stored voice") << "! 0.3" << 2 << false << ok << false << 0;
    QTest::newRow("no sound server") << "!" << 2 << false << PlayFailure::NoServer << false << 3;
    QTest::newRow("server stopped answering")
        << "!" << 2 << false << PlayFailure::ServerSilent << false << 4;
    QTest::newRow("connection broke off")
        << "!!" << 2 << true << PlayFailure::ServerLost << false << 5;
    QTest::newRow("recording not playable")
        << "!" << 2 << false << PlayFailure::Undecodable << false << 6;
    QTest::newRow("SIGTERM or logout mid-sentence") << "!" << 2 << false << ok << true << 8;
}

// Speaking once: the voice chosen, the stored mode not applied, no window, nothing written.
void TestStart::oneShot() {
    QFETCH(QString, cmd);
    QFETCH(int, voice);
    QFETCH(bool, seconds);
    QFETCH(PlayFailure, failure);
    QFETCH(bool, unloadWhileSpeaking);
    QFETCH(int, status);
    Prozess p = Process(cmd.toStdString());
    if (voice == 0) { // not a one-shot: the window opens
        QVERIFY(!p.Argumente.Einmal);
        return;
    }
    const QByteArray before = "[Tikkaru]\nVoice=1\nMode=2\nSekunden=1\nWinLeft=5\n";
    Store(before);
    FakeClock clock;
    FakePlayer player{clock};
    int endCalls = 0;
    int endStatus = -1;
    p.EndProgram = [&](int s, const std::vector<std::string>&) {
        if (endCalls++ == 0) {
            endStatus = s;
        }
    };
    const bool nullSekunden = QByteArray(QTest::currentDataTag()).contains("second 0");
    clock.Set(14, 30, nullSekunden ? 0.0 : 7.0);
    player.failure = failure;
    EinmalAnsage einmal(clock, player, std::move(p));
    player.onHeard = [&](const FakePlayer::Call&) {
        if (unloadWhileSpeaking && endCalls == 0) {
            einmal.Abbrechen();
        }
    };
    einmal.Starte();
    // Start-up returns with the announcement begun; it ends the program once heard.
    QCOMPARE(endCalls, 0);
    for (int i = 0; i < 10000 && endCalls == 0; ++i) {
        clock.Advance(0.01);
    }
    QCOMPARE(endStatus, status);
    QCOMPARE(endCalls, 1);
    QCOMPARE(Stored(), before);
    if (unloadWhileSpeaking) {
        return;
    }
    QVERIFY(!player.calls.empty());
    for (const auto& call : player.calls) {
        QCOMPARE(FormFixture::VoiceOf(call.image), voice);
    }
    // The one-shot's sentence, as a window speaks it when handed the request: the seconds for
    // "!!" only, none at second 0.
    QCOMPARE(einmal.Satz(),
             EinmalSatz(nullSekunden ? "14:30:00" : "14:30:07", cmd.startsWith("!!")));
    QCOMPARE(QString::fromStdString(einmal.Satz()).contains("Sekunden"), seconds);
}

void TestStart::previousInstance_data() {
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<int>("answer"); // the running copy's status; -1: not asked
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("seconds");
    QTest::addColumn<int>("voice");
    QTest::newRow("window: brought to the front") << "" << -1 << 0 << false << 0;
    QTest::newRow("window with a voice") << "- 2" << -1 << 0 << false << 0;
    QTest::newRow("speaking once says that nothing was said") << "!" << 7 << 7 << false << 0;
    QTest::newRow("!! heard through the running copy") << "!!" << 0 << 0 << true << 0;
    QTest::newRow("! 3 while it speaks") << "! 3" << 10 << 10 << false << 3;
    QTest::newRow("its failure") << "! 5" << 6 << 6 << false << 5;
    QTest::newRow("!! 9: beyond any list") << "!! 9" << 0 << 0 << true << 1;
    QTest::newRow("!! 1e300") << "!! 1e300" << 0 << 0 << true << 1;
    QTest::newRow("! -2: the selected voice") << "! -2" << 0 << 0 << false << 0;
    // Read as the window reads its own command line.
    QTest::newRow("! 0.3: the selected voice") << "! 0.3" << 0 << 0 << false << 0;
    QTest::newRow("! 5.6: beyond any list") << "! 5.6" << 0 << 0 << false << 1;
}

// A second copy shows nothing and speaks nothing itself: a request to speak goes to the
// running copy, whose status it ends with; a plain start brings that copy's window up.
void TestStart::previousInstance() {
    QFETCH(QString, cmd);
    QFETCH(int, answer);
    QFETCH(int, status);
    QFETCH(bool, seconds);
    QFETCH(int, voice);
    Prozess p = Process(cmd.toStdString());
    p.PreviousInstance = [] { return true; };
    int asked = 0;
    int fronts = 0;
    bool askedSeconds = false;
    int askedVoice = -1;
    p.HandOver = [&](bool s, int v, std::vector<std::string>&) {
        ++asked;
        askedSeconds = s;
        askedVoice = v;
        return answer;
    };
    p.BringToFront = [&] { ++fronts; };
    const bool einmal = p.Argumente.Einmal;
    FormFixture f(einmal ? Prozess() : std::move(p));
    std::optional<EinmalAnsage> ansage;
    if (einmal) {
        p.EndProgram = [&f](int s, const std::vector<std::string>&) {
            if (f.endCalls++ == 0) {
                f.endStatus = s;
            }
        };
        ansage.emplace(f.clock, f.player, std::move(p)).Starte();
    } else {
        f.form->Form_Load();
    }
    QCOMPARE(f.endCalls, 1);
    QCOMPARE(f.endStatus, status);
    QCOMPARE(asked, answer < 0 ? 0 : 1);
    QCOMPARE(fronts, answer < 0 ? 1 : 0);
    if (answer >= 0) {
        QCOMPARE(askedSeconds, seconds);
        QCOMPARE(askedVoice, voice);
    }
    QVERIFY(f.player.calls.empty());
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.form->coVoice->count(), 0);

    // Left unset, ending the program leaves the event loop with the status; an unset hand-over
    // finds nobody answering.
    Prozess unset = Process(cmd.toStdString());
    unset.PreviousInstance = [] { return true; };
    if (einmal) {
        EinmalAnsage unsetAnsage(f.clock, f.player, std::move(unset));
        QTimer::singleShot(0, [&unsetAnsage] { unsetAnsage.Starte(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 7);
        return;
    }
    Form1 form(f.clock, f.player, std::move(unset));
    QTimer::singleShot(0, &form, &Form1::Form_Load);
    QTimer::singleShot(5000, &form, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), status);
}

void TestStart::unloadBeforeLoadWritesNothing() {
    FormFixture f(Process());
    f.form->Form_Unload();
    QCOMPARE(f.endCalls, 1);
    QVERIFY(!QFile::exists(Conf()));
}

// A damaged file is read as defaults and left alone until shutdown writes good values.
void TestStart::corruptFileKeptUntilShutdown() {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    Store(garbage);
    FormFixture f(Process());
    f.form->Form_Load();
    QVERIFY(f.form->isVisible());
    QVERIFY(f.form->coVoice->currentIndex() >= 0);
    QCOMPARE(Stored(), garbage);
    f.form->opAU->click();
    f.form->Form_Unload();
    QCOMPARE(Value("Mode"), QString("2"));
    QCOMPARE(Value("Sekunden"), QString("1"));
}

void TestStart::settingsPathKinds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("written");
    QTest::newRow("a folder") << "folder" << false;
    QTest::newRow("a FIFO: start-up does not block") << "fifo" << false;
    QTest::newRow("a link to a FIFO") << "link fifo" << false;
    QTest::newRow("a link to a device node, as to /dev/null") << "link device" << false;
    QTest::newRow("a link to nowhere") << "link nowhere" << false;
    QTest::newRow("a link to a regular file: written there, the link kept") << "link file" << true;
    QTest::newRow("a file of two hard links: both names keep it") << "hard link" << true;
}

// The settings are read and written only where the name is a regular file or leads to one;
// whatever else is there, the window opens and the thing stays as it was.
void TestStart::settingsPathKinds() {
    QFETCH(QString, kind);
    QFETCH(bool, written);
    const QByteArray conf = QFile::encodeName(Conf());
    const QByteArray target = QFile::encodeName(work_->path() + "/target");
    const QByteArray body = "[Tikkaru]\nMode=4\nWinLeft=60\n";
    const auto file = [&](const QByteArray& path) {
        QFile f(QFile::decodeName(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    };
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(Conf()));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(conf, 0600), 0);
    } else if (kind == "link fifo") {
        QCOMPARE(::mkfifo(target, 0600), 0);
    } else if (kind == "link device") {
        if (::mknod(target, S_IFCHR | 0666, makedev(1, 3)) != 0) {
            QSKIP("mknod needs root");
        }
    } else if (kind == "link file") {
        file(target);
    } else if (kind == "hard link") {
        file(target);
        QCOMPARE(::link(target, conf), 0);
    }
    if (kind.startsWith("link")) {
        QCOMPARE(::symlink(target, conf), 0);
    }
    struct stat name {
    }, node{};
    QCOMPARE(::lstat(conf, &name), 0);
    const bool hasTarget = kind != "link nowhere" && kind.startsWith("link");
    QVERIFY(!hasTarget || ::stat(target, &node) == 0);

    FormFixture f(Process());
    f.form->Form_Load();
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->opHH->isChecked(), written); // read where it is a file
    f.form->opAU->click();
    f.form->Form_Unload();
    QCOMPARE(f.endCalls, 1);

    struct stat nameAfter {
    }, nodeAfter{};
    QCOMPARE(::lstat(conf, &nameAfter), 0);
    QCOMPARE(nameAfter.st_ino, name.st_ino);
    QCOMPARE(nameAfter.st_mode, name.st_mode);
    if (hasTarget) {
        QCOMPARE(::stat(target, &nodeAfter), 0);
        // A link's regular file is replaced whole (atomically); anything else stays itself.
        if (kind == "link file") {
            node.st_ino = nodeAfter.st_ino;
        }
        QCOMPARE(nodeAfter.st_ino, node.st_ino);
        QCOMPARE(nodeAfter.st_mode, node.st_mode);
        QCOMPARE(nodeAfter.st_rdev, node.st_rdev);
    }
    if (written) {
        QCOMPARE(Value("Mode"), QString("2"));
        QCOMPARE(Value("WinLeft"), QString("60"));
        QFile other(QFile::decodeName(target));
        QVERIFY(other.open(QIODevice::ReadOnly));
        QVERIFY(other.readAll().contains("Mode=2"));
    } else if (kind == "folder") {
        QVERIFY(QFileInfo(Conf()).isDir());
    }
}

void TestStart::windowStatusesInDocs_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("list"); // the list of statuses is its first group
    QTest::newRow("manual page, Ansage") << "packaging/tikkaru.1.in"
                                         << "Ansage.*?endet \\(([^)]*)\\)";
    QTest::newRow("manual page, exit status")
        << "packaging/tikkaru.1.in"
        << "Läuft das Fenster schon, sind ([^;]*) das Ergebnis";
    QTest::newRow("README") << "README.md"
                            << "window's status \\(([^)]*)\\)";
}

// Where the documents list the statuses a running window answers a request with, they list
// those of the program: "0, 3 bis 6, 8, 9 oder 10".
void TestStart::windowStatusesInDocs() {
    QFETCH(QString, file);
    QFETCH(QString, list);
    QFile f(QStringLiteral(TIKKARU_SOURCE_DIR "/") + file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll()).simplified();
    const QRegularExpressionMatch m =
        QRegularExpression(list, QRegularExpression::DotMatchesEverythingOption).match(text);
    QVERIFY2(m.hasMatch(), qPrintable(list));
    QList<int> documented;
    const QRegularExpression element("(\\d+)(?:(?: bis |-)(\\d+))?");
    for (auto it = element.globalMatch(m.captured(1)); it.hasNext();) {
        const QRegularExpressionMatch e = it.next();
        const int last = e.captured(2).isEmpty() ? e.captured(1).toInt() : e.captured(2).toInt();
        for (int s = e.captured(1).toInt(); s <= last; ++s) {
            documented << s;
        }
    }
    QList<int> program;
    for (int s = 0; s <= 255; ++s) {
        if (FensterStatus(s)) {
            program << s;
        }
    }
    QCOMPARE(documented, program);
}

void TestStart::waitWithoutEventLoop_data() {
    QTest::addColumn<int>("signal"); // raised before the wait; 0: none
    QTest::addColumn<bool>("readable");
    QTest::addColumn<Warten>("result");
    QTest::newRow("answer") << 0 << true << Warten::Bereit;
    QTest::newRow("no answer") << 0 << false << Warten::Frist;
    QTest::newRow("SIGTERM") << SIGTERM << false << Warten::Signal;
    QTest::newRow("SIGINT") << SIGINT << false << Warten::Signal;
    QTest::newRow("SIGHUP") << SIGHUP << false << Warten::Signal;
    QTest::newRow("a signal beats an answer") << SIGTERM << true << Warten::Signal;
}

// Waiting for another thread with a deadline: the signals that end the program end the wait,
// with no event loop running, also one that arrived before it; afterwards the signals go to the
// window's handling again.
void TestStart::waitWithoutEventLoop() {
    QFETCH(int, signal);
    QFETCH(bool, readable);
    QFETCH(Warten, result);
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    if (readable) {
        QVERIFY(::write(fds[1], "x", 1) == 1);
    }
    int gehoert = 0;
    const TerminationSignals fenster([&gehoert] { ++gehoert; });
    {
        const SignalWache wache;
        if (signal != 0) {
            ::raise(signal);
        }
        QCOMPARE(wache.WarteAuf(fds[0], 50), result);
        QCOMPARE(wache.WarteAuf(fds[0], 0), result); // asked again, the same
    }
    ::close(fds[0]);
    ::close(fds[1]);
    QCoreApplication::processEvents();
    QCOMPARE(gehoert, 0);
    ::raise(SIGHUP);
    QTRY_COMPARE(gehoert, 1);
}

// Two screens that do not touch: 1280x800 at 0,0 and 1920x1200 at 4000,3000.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    QFile screens(dir.path() + "/screens.json");
    if (!screens.open(QIODevice::WriteOnly) || screens.write(R"({"screens": [
            {"name": "a", "x": 0, "y": 0, "width": 1280, "height": 800},
            {"name": "b", "x": 4000, "y": 3000, "width": 1920, "height": 1200}]})") < 0) {
        return 1;
    }
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    QApplication app(argc, argv);
    TestStart test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_start.moc"
