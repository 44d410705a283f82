// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// When the clock speaks by itself. Pure functions of the clock, the mode and the window's
// state: the window reads its controls, the timer asks here when to wake next.

// The four modes of the option buttons.
enum class Modus { Manuell, Fortlaufend, JedeMinute, JedeStunde };

// What the schedule needs to know of the window besides the clock.
struct Zustand {
    Modus modus = Modus::JedeMinute;
    bool busy = false;    // an announcement is in progress
    bool gesehen = false; // some of the window can be seen
};

// What a tick does besides refreshing the display.
struct TickEntscheidung {
    bool ansagen = false; // call Tikkaru
    bool merken = false;  // remember the time as the last full minute or hour spoken
    // get the player ready for the first piece: the full minute or hour is a second away
    bool vorbereiten = false;
};

// The tick at clock time text `zeit` ("hh:mm:ss"). Continuous mode always calls Tikkaru (a
// running announcement drops the call). A full minute or hour is spoken once, also when its
// announcement is over before its second is (no sound server): `zuletzt` is the time text of
// the last full minute or hour whose announcement a tick started. The second before a full
// minute or hour that is announced, with no announcement running, prepares it.
TickEntscheidung EntscheideTick(std::string_view zeit, Modus modus, std::string_view zuletzt,
                                bool busy);

// A window that nobody sees wakes at least this often (seconds), so that a changed clock or a
// machine that slept is noticed soon.
inline constexpr double LaengsteRuhe = 10.0;

// When the next tick can change anything (seconds since midnight, at or before `jetzt` for the
// very next one), given the seconds since midnight now. Continuous mode and a running
// announcement need every tick; a window that can be seen needs one a second, just after the
// second changes; a window nobody sees needs only the full minute or hour its mode announces,
// and the second before it.
double NaechsterNoetigerTick(double jetzt, const Zustand& zustand);

// The spoken sentence of a one-shot request ("!" or "!!"), whoever speaks it: the program
// started for it without a window, or the window it is handed over to. It is spoken as in the
// window's design mode, every minute, whatever mode the window shows: so the seconds asked
// for are left out at second 0.
std::string EinmalSatz(std::string_view zeit, bool sekunden);
