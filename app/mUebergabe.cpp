// SPDX-License-Identifier: GPL-3.0-or-later
#include "mUebergabe.h"

#include "mEinzeln.h"
#include "mKatalog.h"
#include "mProgVer.h"
#include "mProzess.h"
#include "mSignale.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using Kanal::AntwortFrist;
using Kanal::DienstName;
using Kanal::LaengstesToken;
using Kanal::Pfad;
using Kanal::Schnittstelle;
// The bounds of the client: the first exchange (AntwortFrist, connecting to the bus included)
// shows that the clock answers at all; the sentence itself takes 3 to 6 s, a sound server that
// stops answering holds it up a second more, and what is left is margin. A clock that has not
// answered by then has hung in the middle of the sentence.
constexpr int AnsageFrist = 15000;

// How long the bus may take to answer the first line of a connection.
constexpr int ErsteZeileFrist = 1000;

} // namespace

const QString& BusAdresse() {
    static const QString adresse = [] {
        QString a = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (const std::string runtime = LaufzeitOrdner(); a.isEmpty() && !runtime.empty()) {
            a = "unix:path=" + QString::fromStdString(runtime) + "/bus";
        }
        return a;
    }();
    return adresse;
}

namespace {

// The socket of the first unix address in a bus address ("unix:path=..." or
// "unix:abstract=...", values %-escaped); nullopt for other transports.
std::optional<sockaddr_un> UnixSocket(const QString& adresse) {
    for (const QString& eintrag : adresse.split(';', Qt::SkipEmptyParts)) {
        if (!eintrag.startsWith("unix:")) {
            continue;
        }
        for (const QString& paar : eintrag.mid(5).split(',')) {
            const bool abstrakt = paar.startsWith("abstract=");
            if (!abstrakt && !paar.startsWith("path=")) {
                continue;
            }
            const QByteArray wert =
                QByteArray::fromPercentEncoding(paar.mid(paar.indexOf('=') + 1).toUtf8());
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const std::size_t platz = sizeof addr.sun_path - (abstrakt ? 1 : 0) - 1;
            if (wert.isEmpty() || static_cast<std::size_t>(wert.size()) > platz) {
                return std::nullopt;
            }
            std::memcpy(addr.sun_path + (abstrakt ? 1 : 0), wert.constData(),
                        static_cast<std::size_t>(wert.size()));
            return addr;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// Whether the bus answers the first line of a connection within frist ms. libdbus waits for
// that answer up to 25 s, and it waits on the one thread that every bus connection of the
// process shares: a bus that takes connections and never answers is left before.
bool BusAntwortet(const QString& adresse, int frist) {
    const std::optional<sockaddr_un> addr = UnixSocket(adresse);
    if (!addr) {
        return true; // another transport: libdbus alone bounds it
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    const std::size_t laenge = addr->sun_path[0] == 0 ? offsetof(sockaddr_un, sun_path) + 1 +
                                                            std::strlen(addr->sun_path + 1)
                                                      : sizeof(sockaddr_un);
    const auto ende = std::chrono::steady_clock::now() + std::chrono::milliseconds(frist);
    const auto warte = [&](short was) {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
                              ende - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, was, 0};
        return rest > 0 && ::poll(&p, 1, static_cast<int>(rest)) == 1 && (p.revents & was) != 0;
    };
    bool antwort = false;
    // A NUL, then a request for the mechanisms: any bus answers it with a line (REJECTED and
    // the list), before any authentication.
    static constexpr char Frage[] = "\0AUTH\r\n";
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&*addr), static_cast<socklen_t>(laenge)) ==
             0 ||
         (errno == EINPROGRESS && warte(POLLOUT))) &&
        ::send(fd, Frage, sizeof Frage - 1, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(sizeof Frage - 1)) {
        std::string zeile;
        char buf[256];
        while (!antwort && warte(POLLIN)) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            zeile.append(buf, static_cast<std::size_t>(n));
            antwort = zeile.find("\r\n") != std::string::npos;
        }
    }
    ::close(fd);
    return antwort;
}

} // namespace

QDBusConnection VerbindeMitBus(const QString& name) {
    const QString& adresse = BusAdresse();
    if (adresse.isEmpty() || !BusAntwortet(adresse, ErsteZeileFrist)) {
        return QDBusConnection(name);
    }
    return QDBusConnection::connectToBus(adresse, name);
}

void VerbergeStummenBus() {
    if (const QString& adresse = BusAdresse();
        !adresse.isEmpty() && !BusAntwortet(adresse, ErsteZeileFrist)) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null");
    }
}

namespace {

QDBusMessage Anfrage(const char* methode, const QString& ziel = DienstName) {
    return QDBusMessage::createMethodCall(ziel, Pfad, Schnittstelle, methode);
}

QDBusMessage BusFrage(const char* methode, const QString& name) {
    QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", methode);
    m << name;
    return m;
}

// A question to the bus itself, answered within the first exchange's bound.
QDBusMessage FrageBus(QDBusConnection& bus, const char* methode, const QString& name) {
    return bus.call(BusFrage(methode, name), QDBus::Block, AntwortFrist);
}

// The bus connection of the clock that holds the lock (process id halter, 0 when unknown):
// the owner of the name, or one waiting for it, whose process is that one. Another process
// that holds the name is no clock. "" when there is none.
QString UhrAmBus(QDBusConnection& bus, qint64 halter) {
    // The owner's process is asked together with the list, which names the owner first: where
    // that is the clock, as it nearly always is, one round trip to the bus finds it.
    QDBusPendingCall liste = bus.asyncCall(BusFrage("ListQueuedOwners", DienstName), AntwortFrist);
    QDBusPendingCall erster =
        bus.asyncCall(BusFrage("GetConnectionUnixProcessID", DienstName), AntwortFrist);
    liste.waitForFinished();
    const QDBusMessage besitzer = liste.reply();
    if (besitzer.type() != QDBusMessage::ReplyMessage || besitzer.arguments().isEmpty()) {
        return {};
    }
    const QStringList namen = besitzer.arguments().constFirst().toStringList();
    erster.waitForFinished();
    const QDBusMessage ersterPid = erster.reply();
    if (!namen.isEmpty() && halter > 0 && ersterPid.type() == QDBusMessage::ReplyMessage &&
        !ersterPid.arguments().isEmpty() &&
        ersterPid.arguments().constFirst().toLongLong() == halter) {
        return namen.constFirst();
    }
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

namespace {

// The exchange with the running clock, on a thread of its own: connecting, finding the clock,
// Version, AnsageBericht (Ansage for a clock that knows no report). angenommen is called once
// the clock has answered and the request goes out; stumm gets the pieces that stayed silent.
int Gespraech(bool sekunden, int stimme, qint64 halter, const std::function<void()>& angenommen,
              std::vector<std::string>& stumm) {
    const int andere = static_cast<int>(EndeStatus::AndereKopie);
    QDBusConnection bus = VerbindeMitBus("tikkaru-einmal");
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
        QDBusConnection bus = VerbindeMitBus("tikkaru-zeigen");
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
