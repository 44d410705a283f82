// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The two sentences of a clock time text "HH:MM:SS".
//
// Each field is the value of the leading digits of its two characters; a field that is
// missing or holds no digit counts as 0, so any text gives a sentence and none is read
// out of bounds.

// The display sentence, e.g. " Es ist  zwölf  Uhr  drei-und-zwan-zig." (UTF-8).
// sekunden: the seconds box is checked.
std::string AnzeigeSatz(std::string_view zeit, bool sekunden);

// The spoken sentence, e.g. " Es ist ~ zwoelf  Uhr  drei-un-zwan-zig.": ASCII only, "~" marks
// a pause. minuteOderStunde: the every-minute or every-hour mode is selected, which drops the
// seconds at second 0.
std::string SprechSatz(std::string_view zeit, bool sekunden, bool minuteOderStunde);

// Hour, minute and second of a clock time text, by the rule above.
struct ZeitFelder {
    int Stunde = 0;
    int Minute = 0;
    int Sekunde = 0;
};
ZeitFelder LiesZeit(std::string_view zeit);
