// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mProzess.h"

class Clock;

// What the window's start is handed by the executable, which has read the command line and
// taken (or found held) the lock.
struct FensterStart {
    int* argc;
    char** argv;
    Clock* clock;
    Prozess prozess;
};

// The window's start: the toolkit's application, the window, its handling of signals and the
// session's end, and the channel on the session bus; returns the exit status. It lives in a
// library of its own that the executable loads only to show a window, so that speaking once
// loads no GUI library; the executable looks it up under this name.
extern "C" int tikkaru_fenster(FensterStart* start);
