// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <string>
#include <vector>

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

// The channel's names, and how long the first exchange with the other side may take.
namespace Kanal {
inline constexpr const char* DienstName = "org.quorvane.Tikkaru";
inline constexpr const char* Pfad = "/";
inline constexpr const char* Schnittstelle = "org.quorvane.Tikkaru";
inline constexpr int AntwortFrist = 2000;
// Longer activation tokens than this are no token.
inline constexpr qsizetype LaengstesToken = 1024;
} // namespace Kanal

// A connection to the session bus (see BusAdresse) under the given name; not connected when
// there is none or it does not answer. Blocks, within libdbus's bounds: never on the window's
// thread.
QDBusConnection VerbindeMitBus(const QString& name);

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
