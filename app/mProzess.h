// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mEndeStatus.h"
#include "mGetCMD.h"

#include <QCoreApplication>

#include <functional>
#include <string>
#include <vector>

// What start-up and shutdown need of the process, injectable for tests.
struct Prozess {
    // The command line, read once.
    Aufruf Argumente;
    // The current working directory.
    std::string CurrentDir;
    // True when another copy of the program is running (and this one must end).
    std::function<bool()> PreviousInstance = [] { return false; };
    // Ends the program at once with the given exit status; Stumm names the pieces that stayed
    // silent, for TeileFehlen. After it returns (in tests) the caller stops too. Unless told
    // otherwise the event loop ends with the status, so that the program returns from main
    // with it.
    std::function<void(int Status, const std::vector<std::string>& Stumm)> EndProgram =
        [](int status, const std::vector<std::string>&) { QCoreApplication::exit(status); };
    // Speaking once while another copy runs: hands the request over to it (seconds, voice
    // number or 0 for its selected one) and returns the exit status it reports, with the pieces
    // that stayed silent there in Stumm.
    std::function<int(bool Sekunden, int Stimme, std::vector<std::string>& Stumm)> HandOver =
        [](bool, int, std::vector<std::string>&) {
            return static_cast<int>(EndeStatus::AndereKopie);
        };
    // A second start without a request: brings the running copy's window to the front.
    std::function<void()> BringToFront = [] {};
};
