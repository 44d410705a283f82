// SPDX-License-Identifier: GPL-3.0-or-later
#include "mUebergabe.h"

#include "Form1.h"
#include "mKatalog.h"
#include "mProgVer.h"
#include "mProzess.h"

#include <QComboBox>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* DienstName = "org.quorvane.Tikkaru";
constexpr const char* Pfad = "/";
constexpr const char* Schnittstelle = "org.quorvane.Tikkaru";
// The bounds of the client: the first exchange (connecting to the bus included) shows that the
// clock answers at all; the sentence itself takes 3 to 6 s, a sound server that stops answering
// holds it up a second more, and what is left is margin. A clock that has not answered by then
// has hung in the middle of the sentence.
constexpr int AntwortFrist = 2000;
constexpr int AnsageFrist = 15000;
// How often the window looks whether its bus connection is still there.
constexpr int BusPruefung = 2000;
// Longer activation tokens than this are no token.
constexpr qsizetype LaengstesToken = 1024;

// A connection to the session bus: DBUS_SESSION_BUS_ADDRESS, or the user bus in the runtime
// directory where the variable is missing (cron); not connected when there is neither.
QDBusConnection Verbinde(const QString& name) {
    QString adresse = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (const std::string runtime = LaufzeitOrdner(); adresse.isEmpty() && !runtime.empty()) {
        adresse = "unix:path=" + QString::fromStdString(runtime) + "/bus";
    }
    return adresse.isEmpty() ? QDBusConnection(name) : QDBusConnection::connectToBus(adresse, name);
}

QDBusMessage Anfrage(const char* methode, const QString& ziel = DienstName) {
    return QDBusMessage::createMethodCall(ziel, Pfad, Schnittstelle, methode);
}

// A question to the bus itself, answered within the first exchange's bound.
QDBusMessage FrageBus(QDBusConnection& bus, const char* methode, const QString& name) {
    QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", methode);
    m << name;
    return bus.call(m, QDBus::Block, AntwortFrist);
}

// The bus connection of the clock that holds the lock (process id halter, 0 when unknown):
// the owner of the name, or one waiting for it, whose process is that one. Another process
// that holds the name is no clock. "" when there is none.
QString UhrAmBus(QDBusConnection& bus, qint64 halter) {
    const QDBusMessage besitzer = FrageBus(bus, "ListQueuedOwners", DienstName);
    if (besitzer.type() != QDBusMessage::ReplyMessage || besitzer.arguments().isEmpty()) {
        return {};
    }
    const QStringList namen = besitzer.arguments().constFirst().toStringList();
    for (const QString& name : namen) {
        if (halter <= 0) {
            return name;
        }
        const QDBusMessage pid = FrageBus(bus, "GetConnectionUnixProcessID", name);
        if (pid.type() == QDBusMessage::ReplyMessage && !pid.arguments().isEmpty() &&
            pid.arguments().constFirst().toLongLong() == halter) {
            return name;
        }
    }
    return {};
}

} // namespace

Uebergabe::Uebergabe(Form1& form)
    : QObject(&form), form_(form), bus_(Verbinde("tikkaru-uhr")), pruefung_(new QTimer(this)) {
    // A session bus that ends (and is started again) takes the connection with it: the next
    // look makes a new one and takes the name again.
    connect(pruefung_, &QTimer::timeout, this, [this] {
        if (!bus_.isConnected()) {
            Anmelden();
        }
    });
}

Uebergabe::~Uebergabe() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(Pfad);
        bus_.unregisterService(DienstName);
    }
}

bool Uebergabe::Anmelden() {
    pruefung_->start(BusPruefung);
    if (!bus_.isConnected()) {
        // Each connection its own name: a broken one keeps its name until it is let go.
        QDBusConnection::disconnectFromBus(bus_.name());
        bus_ = Verbinde(QString("tikkaru-uhr-%1").arg(++verbindungen_));
        if (!bus_.isConnected()) {
            return false;
        }
    }
    if (!bus_.registerObject(Pfad, this, QDBusConnection::ExportAllSlots)) {
        return false;
    }
    bus_.connect({}, Pfad, Schnittstelle, "Ansage", this, SLOT(AnsageSignal(bool, int)));
    // The lock says that this is the clock: a process that holds the name now (a copy started
    // with another runtime folder, a stray program) keeps it only until it lets go, then the
    // bus hands it on to us, and nobody takes it from us. Until then a request finds us in the
    // queue by our process. The bus releases the name when the process ends, killed or not.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> antwort =
        bus_.interface()->registerService(DienstName, QDBusConnectionInterface::QueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    return antwort.isValid() && antwort.value() != QDBusConnectionInterface::ServiceNotRegistered;
}

int Uebergabe::Ansage(bool sekunden, int stimme) {
    return Nimm(sekunden, stimme, false);
}

int Uebergabe::AnsageBericht(bool sekunden, int stimme, QStringList&) {
    return Nimm(sekunden, stimme, true);
}

int Uebergabe::Nimm(bool sekunden, int stimme, bool mitStummen) {
    if (stimme < 0 || stimme > form_.coVoice->count()) {
        sendErrorReply(QDBusError::InvalidArgs, QString("Stimme %1 gibt es nicht").arg(stimme));
        return 0;
    }
    // Nothing is queued: a clock that speaks says so at once.
    if (form_.vBusy == 1) {
        return static_cast<int>(EndeStatus::Beschaeftigt);
    }
    // A call that wants no reply is a request to speak, not a caller to wait for: spoken,
    // and nobody is told.
    if (!message().isReplyRequired()) {
        form_.SageAufAnfrage(sekunden, stimme, [](int) {});
        return 0;
    }
    // Taken: the call is answered when the announcement has been heard, and the bus and the
    // window go on meanwhile. A request that waited while the clock hung, and whose caller has
    // given up, is not spoken late: the bus is asked first, without waiting on it, whether the
    // caller is still there.
    setDelayedReply(true);
    QDBusMessage frage = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner");
    frage << message().service();
    auto* da = new QDBusPendingCallWatcher(bus_.asyncCall(frage, AntwortFrist), this);
    connect(da, &QDBusPendingCallWatcher::finished, this,
            [this, anfrage = message(), sekunden, stimme, mitStummen](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<bool> anrufer = *w;
                const auto antworte = [this, anfrage, mitStummen](int status) {
                    QVariantList antwort{status};
                    if (mitStummen) {
                        QStringList stumm;
                        for (const std::string& wort : form_.StummeTeile()) {
                            stumm << QString::fromStdString(wort);
                        }
                        antwort << stumm;
                    }
                    bus_.send(anfrage.createReply(antwort));
                };
                if (!anrufer.isValid() || !anrufer.value()) {
                    antworte(static_cast<int>(EndeStatus::Abgebrochen));
                } else {
                    form_.SageAufAnfrage(sekunden, stimme, antworte);
                }
            });
    return 0;
}

void Uebergabe::AnsageSignal(bool sekunden, int stimme) {
    if (stimme >= 0 && stimme <= form_.coVoice->count()) {
        form_.SageAufAnfrage(sekunden, stimme, [](int) {});
    }
}

void Uebergabe::Zeigen(const QString& token) {
    if (token.size() > LaengstesToken) {
        sendErrorReply(QDBusError::InvalidArgs, "Token zu lang");
        return;
    }
    // Qt 6.4 activates a Wayland window with a token of its own; later versions take the one
    // the launcher gave the caller from the environment, once.
    if (!token.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    }
    if (form_.vLoaded == 0) {
        return;
    }
    form_.showNormal();
    form_.raise();
    form_.activateWindow();
}

QString Uebergabe::Anzeige(QString& satz) {
    satz = form_.TT->text();
    return form_.TZ->text();
}

QString Uebergabe::Version() {
    return QString::fromStdString(ProgVer());
}

namespace {

// The exchange with the running clock, on a thread of its own: connecting, finding the clock,
// Version, AnsageBericht (Ansage for a clock that knows no report). angenommen is called once
// the clock has answered and the request goes out; stumm gets the pieces that stayed silent.
int Gespraech(bool sekunden, int stimme, qint64 halter, const std::function<void()>& angenommen,
              std::vector<std::string>& stumm) {
    const int andere = static_cast<int>(EndeStatus::AndereKopie);
    QDBusConnection bus = Verbinde("tikkaru-einmal");
    if (!bus.isConnected()) {
        return andere;
    }
    const QString uhr = UhrAmBus(bus, halter);
    if (uhr.isEmpty()) {
        return andere;
    }
    const QDBusMessage da = bus.call(Anfrage("Version", uhr), QDBus::Block, AntwortFrist);
    if (da.type() != QDBusMessage::ReplyMessage) {
        return andere;
    }
    angenommen();
    const auto ansage = [&bus, &uhr, sekunden](int s) {
        QDBusMessage m = Anfrage("AnsageBericht", uhr);
        m << sekunden << s;
        QDBusMessage antwort = bus.call(m, QDBus::Block, AnsageFrist);
        if (antwort.errorName() == QDBusError::errorString(QDBusError::UnknownMethod)) {
            m = Anfrage("Ansage", uhr);
            m << sekunden << s;
            antwort = bus.call(m, QDBus::Block, AnsageFrist);
        }
        return antwort;
    };
    QDBusMessage antwort = ansage(stimme);
    // The external voice of this copy's folder may be missing in the clock's: its first
    // entry then, as on the command line for a voice beyond the list.
    if (antwort.type() == QDBusMessage::ErrorMessage &&
        antwort.errorName() == QDBusError::errorString(QDBusError::InvalidArgs) && stimme > 1) {
        antwort = ansage(1);
    }
    if (antwort.type() == QDBusMessage::ReplyMessage && !antwort.arguments().isEmpty()) {
        bool ok = false;
        const int status = antwort.arguments().constFirst().toInt(&ok);
        if (antwort.arguments().size() > 1) {
            for (const QString& wort : antwort.arguments().at(1).toStringList()) {
                stumm.push_back(wort.toStdString());
            }
        }
        return ok && FensterStatus(status) ? status : andere;
    }
    // The clock ended between its first answer and the request: nothing was said.
    if (antwort.errorName() == QDBusError::errorString(QDBusError::ServiceUnknown)) {
        return andere;
    }
    // The clock took the request and then ended, hung or dropped it: cut off.
    return static_cast<int>(EndeStatus::Abgebrochen);
}

// What the waiting thread and the exchange's thread share; it lives as long as either, so that
// an exchange left hanging writes into nothing that has gone.
struct Uebergang {
    int pipe[2] = {-1, -1};
    std::atomic<bool> angenommen = false;
    std::atomic<int> status = -1;
    std::vector<std::string> stumm; // written before status, read after it
    Uebergang() {
        if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            pipe[0] = pipe[1] = -1;
        }
    }
    ~Uebergang() {
        for (const int fd : pipe) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Q_DISABLE_COPY_MOVE(Uebergang)
    void Melde() const {
        const char c = 0;
        [[maybe_unused]] const auto n = ::write(pipe[1], &c, 1);
    }
    void Leere() const {
        char buf[8];
        while (::read(pipe[0], buf, sizeof buf) > 0) {
        }
    }
};

} // namespace

int UebergibAnsage(bool sekunden, int stimme, qint64 halter, std::vector<std::string>& stumm) {
    const int andere = static_cast<int>(EndeStatus::AndereKopie);
    // Noted before the exchange starts, so that no signal slips past: the bus calls block, and
    // no event loop runs to see one.
    const SignalWache wache;
    const auto uebergang = std::make_shared<Uebergang>();
    if (uebergang->pipe[0] < 0) {
        return andere;
    }
    std::thread gespraech([uebergang, sekunden, stimme, halter] {
        uebergang->status = Gespraech(
            sekunden, stimme, halter,
            [&uebergang] {
                uebergang->angenommen = true;
                uebergang->Melde();
            },
            uebergang->stumm);
        uebergang->Melde();
    });
    using Uhr = std::chrono::steady_clock;
    // Qt's own bound of the first exchange comes first; this one holds where Qt has none
    // (connecting to a bus that accepts and never answers).
    auto ende = Uhr::now() + std::chrono::milliseconds(AntwortFrist + 500);
    bool angenommen = false;
    for (;;) {
        const auto rest =
            std::chrono::duration_cast<std::chrono::milliseconds>(ende - Uhr::now()).count();
        const Warten w = wache.WarteAuf(uebergang->pipe[0], static_cast<int>(std::max(rest, 0L)));
        uebergang->Leere();
        if (w == Warten::Signal) {
            gespraech.detach();
            return static_cast<int>(EndeStatus::Abgebrochen);
        }
        if (uebergang->status >= 0) {
            gespraech.join();
            stumm = uebergang->stumm;
            return uebergang->status;
        }
        if (uebergang->angenommen && !angenommen) {
            angenommen = true;
            ende = Uhr::now() + std::chrono::milliseconds(AnsageFrist + 1000);
        } else if (w == Warten::Frist) {
            // The thread stays in its call; the process ends without it.
            gespraech.detach();
            return angenommen ? static_cast<int>(EndeStatus::Abgebrochen) : andere;
        }
    }
}

void ZeigeLaufendeUhr() {
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty()) {
        token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    }
    // On a thread of its own, as the request to speak: a bus that never answers is left.
    const SignalWache wache;
    const auto uebergang = std::make_shared<Uebergang>();
    if (uebergang->pipe[0] < 0) {
        return;
    }
    std::thread zeigen([uebergang, token = token.left(LaengstesToken)] {
        QDBusConnection bus = Verbinde("tikkaru-zeigen");
        if (bus.isConnected()) {
            QDBusMessage m = Anfrage("Zeigen");
            m << token;
            bus.call(m, QDBus::Block, AntwortFrist);
        }
        uebergang->Melde();
    });
    if (wache.WarteAuf(uebergang->pipe[0], AntwortFrist + 500) == Warten::Bereit) {
        zeigen.join();
    } else {
        zeigen.detach();
    }
}
