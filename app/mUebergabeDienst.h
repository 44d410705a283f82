// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DienstFenster.h"
#include "Postfach.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTimer;

// The service side, registered by the window only (it holds the lock).
class Uebergabe final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quorvane.Tikkaru")
public:
    // Serves fenster; a child of eltern.
    Uebergabe(DienstFenster& fenster, QObject* eltern);
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
    DienstFenster& fenster_;
    QDBusConnection bus_{QString()};
    QTimer* pruefung_;
    Postfach post_;
    std::shared_ptr<Rueckweg> rueckweg_;
    int verbindungen_ = 0;
    bool verbindet_ = false; // a connection is being made
    bool fragt_ = false;     // the name is being asked for
    bool benannt_ = false;   // the name is ours, or we are in its queue
};
