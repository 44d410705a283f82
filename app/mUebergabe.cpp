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
#include <QLineEdit>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace {

constexpr const char* DienstName = "org.quorvane.Tikkaru";
constexpr const char* Pfad = "/";
constexpr const char* Schnittstelle = "org.quorvane.Tikkaru";
// The bounds of the client: the first exchange shows that the clock answers at all; the
// sentence itself takes 3 to 6 s, and every piece the sound server holds up at most a few
// seconds more.
constexpr int AntwortFrist = 2000;
constexpr int AnsageFrist = 60000;
// Longer activation tokens than this are no token.
constexpr qsizetype LaengstesToken = 1024;

// A connection to the session bus: DBUS_SESSION_BUS_ADDRESS, or the user bus in the runtime
// directory where the variable is missing (cron); not connected when there is neither.
QDBusConnection Verbinde(const QString& name) {
    QString adresse = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (adresse.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        adresse = "unix:path=" + qEnvironmentVariable("XDG_RUNTIME_DIR") + "/bus";
    }
    return adresse.isEmpty() ? QDBusConnection(name) : QDBusConnection::connectToBus(adresse, name);
}

QDBusMessage Anfrage(const char* methode) {
    return QDBusMessage::createMethodCall(DienstName, Pfad, Schnittstelle, methode);
}

// The statuses a running clock answers with: all but AndereKopie, which only a copy that
// found no answer reports.
bool BekannterStatus(int status) {
    const auto s = static_cast<EndeStatus>(status);
    return s == EndeStatus::Normal ||
           (s >= EndeStatus::KeinTondienst && s <= EndeStatus::Beschaeftigt &&
            s != EndeStatus::AndereKopie);
}

} // namespace

Uebergabe::Uebergabe(Form1& form) : QObject(&form), form_(form), bus_(Verbinde("tikkaru-uhr")) {}

Uebergabe::~Uebergabe() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(Pfad);
        bus_.unregisterService(DienstName);
    }
}

bool Uebergabe::Anmelden() {
    if (!bus_.isConnected()) {
        return false;
    }
    if (!bus_.registerObject(Pfad, this, QDBusConnection::ExportAllSlots)) {
        return false;
    }
    // The name is released by the bus when the process ends, killed or not.
    return bus_.registerService(DienstName);
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
    // The announcement starts now and the call is answered when it has been heard; the bus
    // and the window go on meanwhile.
    setDelayedReply(true);
    form_.SageAufAnfrage(sekunden, stimme, [this, anfrage = message(), mitStummen](int status) {
        QVariantList antwort{status};
        if (mitStummen) {
            QStringList stumm;
            for (const std::string& wort : form_.StummeTeile()) {
                stumm << QString::fromStdString(wort);
            }
            antwort << stumm;
        }
        bus_.send(anfrage.createReply(antwort));
    });
    return 0;
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

int UebergibAnsage(bool sekunden, int stimme) {
    const int andere = static_cast<int>(EndeStatus::AndereKopie);
    QDBusConnection bus = Verbinde("tikkaru-einmal");
    if (!bus.isConnected()) {
        return andere;
    }
    const QDBusMessage da = bus.call(Anfrage("Version"), QDBus::Block, AntwortFrist);
    if (da.type() != QDBusMessage::ReplyMessage) {
        return andere;
    }
    const auto ansage = [&bus, sekunden](int s) {
        QDBusMessage m = Anfrage("Ansage");
        m << sekunden << s;
        return bus.call(m, QDBus::Block, AnsageFrist);
    };
    QDBusMessage antwort = ansage(stimme);
    // The external voice of this copy's folder may be missing in the clock's: its first
    // entry then, as on the command line for a voice beyond the list.
    if (antwort.type() == QDBusMessage::ErrorMessage &&
        antwort.errorName() == QDBusError::errorString(QDBusError::InvalidArgs) && stimme > 1) {
        antwort = ansage(1);
    }
    if (antwort.type() == QDBusMessage::ReplyMessage && antwort.arguments().size() == 1) {
        bool ok = false;
        const int status = antwort.arguments().constFirst().toInt(&ok);
        return ok && BekannterStatus(status) ? status : andere;
    }
    if (antwort.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
        antwort.errorName() == QDBusError::errorString(QDBusError::Timeout)) {
        return andere;
    }
    // The clock answered at first and then ended or dropped the call: cut off.
    return static_cast<int>(EndeStatus::Abgebrochen);
}

void ZeigeLaufendeUhr() {
    QDBusConnection bus = Verbinde("tikkaru-zeigen");
    if (!bus.isConnected()) {
        return;
    }
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty()) {
        token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    }
    QDBusMessage zeigen = Anfrage("Zeigen");
    zeigen << token.left(LaengstesToken);
    bus.call(zeigen, QDBus::Block, AntwortFrist);
}
