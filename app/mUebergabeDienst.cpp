// SPDX-License-Identifier: GPL-3.0-or-later
#include "mUebergabeDienst.h"

#include "mProgVer.h"
#include "mProzess.h"
#include "mUebergabe.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <mutex>
#include <thread>

namespace {

using Kanal::AntwortFrist;
using Kanal::DienstName;
using Kanal::LaengstesToken;
using Kanal::Pfad;
using Kanal::Schnittstelle;
// How often the window looks whether its bus connection is still there.
constexpr int BusPruefung = 2000;

} // namespace

// Where a connection made off the window's thread is handed back: to the window's mailbox while
// the window exists, to nothing once it has gone.
struct Uebergabe::Rueckweg {
    std::mutex mutex;
    Uebergabe* an = nullptr; // mutex
};

Uebergabe::Uebergabe(DienstFenster& fenster, QObject* eltern)
    : QObject(eltern), fenster_(fenster), pruefung_(new QTimer(this)),
      rueckweg_(std::make_shared<Rueckweg>()) {
    rueckweg_->an = this;
    // A session bus that ends (and is started again) takes the connection with it: the next
    // look makes a new one and takes the name again; a name not had yet is asked for again.
    connect(pruefung_, &QTimer::timeout, this, [this] {
        if (!bus_.isConnected()) {
            Anmelden();
        } else if (!benannt_ && !fragt_) {
            FrageNachName();
        }
    });
}

Uebergabe::~Uebergabe() {
    {
        const std::lock_guard<std::mutex> g(rueckweg_->mutex);
        rueckweg_->an = nullptr;
    }
    // The name goes with the connection; letting it go by a call would wait on the bus.
    if (bus_.isConnected()) {
        bus_.unregisterObject(Pfad);
    }
}

void Uebergabe::Anmelden() {
    pruefung_->start(BusPruefung);
    if (verbindet_) {
        return;
    }
    // Connecting waits on the bus (without a bound of ours where it takes connections and
    // never answers): on a thread of its own, which hands the connection back. Each connection
    // its own name: a broken one keeps its name until it is let go.
    verbindet_ = true;
    benannt_ = false;
    const QString alt = bus_.name();
    const QString neu = QString("tikkaru-uhr-%1").arg(++verbindungen_);
    std::thread([rueckweg = rueckweg_, alt, neu] {
        if (!alt.isEmpty()) {
            QDBusConnection::disconnectFromBus(alt);
        }
        const QDBusConnection bus = VerbindeMitBus(neu);
        const std::lock_guard<std::mutex> g(rueckweg->mutex);
        if (Uebergabe* an = rueckweg->an) {
            an->post_.Schicke([an, bus] { an->Verbunden(bus); });
        }
    }).detach();
}

void Uebergabe::Verbunden(const QDBusConnection& bus) {
    verbindet_ = false;
    bus_ = bus;
    if (bus_.isConnected() && bus_.registerObject(Pfad, this, QDBusConnection::ExportAllSlots)) {
        bus_.connect({}, Pfad, Schnittstelle, "Ansage", this, SLOT(AnsageSignal(bool, int)));
        FrageNachName();
    }
}

// The lock says that this is the clock: a process that holds the name now (a copy started with
// another runtime folder, a stray program) keeps it only until it lets go, then the bus hands it
// on to us, and nobody takes it from us. Until then a request finds us in the queue by our
// process. The bus releases the name when the process ends, killed or not. Asked without
// waiting: the answer comes to the event loop.
void Uebergabe::FrageNachName() {
    QDBusMessage frage = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName");
    // Neither replacing another owner nor letting another replace us; queued while it is held.
    frage << QString(DienstName) << 0u;
    fragt_ = true;
    auto* antwort = new QDBusPendingCallWatcher(bus_.asyncCall(frage, AntwortFrist), this);
    connect(antwort, &QDBusPendingCallWatcher::finished, this,
            [this, bus = bus_.name()](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (bus != bus_.name()) {
                    return; // the answer of a connection given up since
                }
                fragt_ = false;
                const QDBusPendingReply<uint> r = *w;
                // 1 the owner now, 2 in the queue, 4 the owner already; 3 (exists) cannot be
                // answered to a request that queues.
                benannt_ = r.isValid() && r.value() != 3;
            });
}

int Uebergabe::Ansage(bool sekunden, int stimme) {
    return Nimm(sekunden, stimme, false);
}

int Uebergabe::AnsageBericht(bool sekunden, int stimme, QStringList&) {
    return Nimm(sekunden, stimme, true);
}

int Uebergabe::Nimm(bool sekunden, int stimme, bool mitStummen) {
    if (stimme < 0 || stimme > fenster_.Stimmen()) {
        sendErrorReply(QDBusError::InvalidArgs, QString("Stimme %1 gibt es nicht").arg(stimme));
        return 0;
    }
    // Nothing is queued: a clock that speaks says so at once.
    if (fenster_.Spricht()) {
        return static_cast<int>(EndeStatus::Beschaeftigt);
    }
    // A call that wants no reply is a request to speak, not a caller to wait for: spoken,
    // and nobody is told.
    if (!message().isReplyRequired()) {
        fenster_.SageAufAnfrage(sekunden, stimme, [](int, const std::vector<std::string>&) {});
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
                const auto antworte =
                    [this, anfrage, mitStummen](int status, const std::vector<std::string>& stumm) {
                        QVariantList antwort{status};
                        if (mitStummen) {
                            QStringList woerter;
                            for (const std::string& wort : stumm) {
                                woerter << QString::fromStdString(wort);
                            }
                            antwort << woerter;
                        }
                        bus_.send(anfrage.createReply(antwort));
                    };
                if (!anrufer.isValid() || !anrufer.value()) {
                    antworte(static_cast<int>(EndeStatus::Abgebrochen), {});
                } else {
                    fenster_.SageAufAnfrage(sekunden, stimme, antworte);
                }
            });
    return 0;
}

void Uebergabe::AnsageSignal(bool sekunden, int stimme) {
    if (stimme >= 0 && stimme <= fenster_.Stimmen()) {
        fenster_.SageAufAnfrage(sekunden, stimme, [](int, const std::vector<std::string>&) {});
    }
}

void Uebergabe::Zeigen(const QString& token) {
    if (token.size() > LaengstesToken) {
        sendErrorReply(QDBusError::InvalidArgs, "Token zu lang");
        return;
    }
    // The token is taken and checked but not used: Qt 6.4 activates a Wayland window with a
    // token of its own and offers no way to pass one, and putting it into the environment, as
    // later versions read it, would race with the threads that read the environment.
    if (fenster_.Geladen()) {
        fenster_.Hervorholen();
    }
}

QString Uebergabe::Anzeige(QString& satz) {
    // A window nobody sees ticks seldom: what it shows is brought up to date for the caller.
    if (!fenster_.Spricht()) {
        fenster_.ZeigeZeit();
    }
    satz = fenster_.Satz();
    return fenster_.Ziffern();
}

QString Uebergabe::Version() {
    return QString::fromStdString(ProgVer());
}
