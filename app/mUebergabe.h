// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Postfach.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class Form1;
class QTimer;

// The running clock's channel on the session bus: a copy started to speak once hands its
// request over to the window that holds the lock, instead of speaking over it.
//
//   name org.quorvane.Tikkaru, object /, interface org.quorvane.Tikkaru
//   Ansage(b sekunden, i stimme) -> i status   speaks the time once, answers when it is over
//   AnsageBericht(b sekunden, i stimme) -> (i status, as stumm)
//                                              the same, with the pieces that stayed silent
//   Zeigen(s token)                            brings the window to the front
//   Anzeige() -> (s zeit, s satz)              the digits and the sentence shown now
//   Version() -> s                             answers at once

// The service side, registered by the window only (it holds the lock).
class Uebergabe final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quorvane.Tikkaru")
public:
    explicit Uebergabe(Form1& form);
    ~Uebergabe() override;
    // Connects to the bus, registers the object and asks for the name (or a place in the queue
    // for it while another process holds it), and returns at once: nothing of it waits on the
    // window's thread. A bus that is not there or goes away is looked for again every two
    // seconds, and the object and name registered anew.
    void Anmelden();

public slots:
    int Ansage(bool sekunden, int stimme);
    int AnsageBericht(bool sekunden, int stimme, QStringList& stumm);
    void Zeigen(const QString& token);
    QString Anzeige(QString& satz);
    QString Version();

private slots:
    // dbus-send without --print-reply sends the request as a signal (to the clock's name, or
    // to all): a request to speak, answered to nobody.
    void AnsageSignal(bool sekunden, int stimme);

private:
    // Starts the announcement a call asks for and answers the call when it has been heard
    // (with the silent pieces when mitStummen); answers at once when it cannot start.
    int Nimm(bool sekunden, int stimme, bool mitStummen);
    // The connection made off the window's thread, handed back to it.
    void Verbunden(const QDBusConnection& bus);
    void FrageNachName();

    struct Rueckweg;
    Form1& form_;
    QDBusConnection bus_{QString()};
    QTimer* pruefung_;
    Postfach post_;
    std::shared_ptr<Rueckweg> rueckweg_;
    int verbindungen_ = 0;
    bool verbindet_ = false; // a connection is being made
    bool fragt_ = false;     // the name is being asked for
    bool benannt_ = false;   // the name is ours, or we are in its queue
};

// The client side, for a copy that found the lock held by process halter (0: unknown). Asks
// the running clock to speak once and returns the exit status it reports; AndereKopie when it
// cannot be reached or does not answer within 2 s (nothing was said); Abgebrochen when it took
// the request and ended or hung before it answered (within 15 s), or at SIGTERM, SIGINT or
// SIGHUP, at once. stimme 0 is the clock's selected voice. stumm gets the pieces that stayed
// silent in the clock's announcement (for status 9).
int UebergibAnsage(bool sekunden, int stimme, qint64 halter, std::vector<std::string>& stumm);

// Where this copy finds the session bus: DBUS_SESSION_BUS_ADDRESS, or the user bus in the
// runtime folder where the variable is missing (cron); "" when there is neither. Read from the
// environment at the first call: made once at start, before any thread runs.
const QString& BusAdresse();

// A session bus that takes connections and never answers would hold a window's start for good:
// the toolkit's screen-reader bridge connects to it on the window's thread without a bound.
// Such a bus (no answer within a second) is hidden from the toolkit, before any thread runs;
// the window's own connection (BusAdresse) keeps looking for it off the window's thread.
void VerbergeStummenBus();

// Asks the running clock to show its window in front (with the activation token this copy
// was started with, for Wayland). Returns at once; a clock that does not answer is left.
void ZeigeLaufendeUhr();
