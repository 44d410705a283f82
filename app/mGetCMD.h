// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// Argument n (1 to 100) of a command-line text: blanks outside double quotes separate,
// quotes are dropped, every blank starts a new argument. Anything else: the empty text.
std::string GetCMD(std::string_view CommandLine, int n);

// The command-line text of argv[1..]: the arguments joined with single blanks, an argument
// that holds a blank (or is empty between others) kept whole by double quotes.
std::string CommandLineText(int argc, const char* const* argv);

// The numeric value of a text: blanks, tabs and line feeds skipped; sign, digits, fraction
// with ".", exponent with E or D; &H hexadecimal and &O octal; 0 when no number begins it.
double NumericValue(std::string_view Text);

// The command line as start-up uses it, read once.
struct Aufruf {
    std::string Arg1;      // the first argument
    bool Einmal = false;   // "!" or "!!": the time once, without the window, then the end
    bool Sekunden = false; // "!!": with the seconds
    double Stimme = 0;     // the numeric value of the second argument; above 0 a voice entry
};
Aufruf LiesAufruf(std::string_view CommandLine);
