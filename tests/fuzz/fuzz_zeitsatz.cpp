// SPDX-License-Identifier: GPL-3.0-or-later
// The two sentences of any time text: the spoken one is ASCII, has the fixed beginning and
// end, and every word piece it holds has a recording in the built-in voices.

#include "FuzzCheck.h"
#include "mAnsage.h"
#include "mKatalog.h"
#include "mZeitSatz.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool sekunden = data[0] & 1;
    const bool minuteOderStunde = data[0] & 2;
    const std::string_view zeit(reinterpret_cast<const char*>(data) + 1, size - 1);

    const ZeitFelder z = LiesZeit(zeit);
    Check(z.Stunde >= 0 && z.Stunde <= 99 && z.Minute >= 0 && z.Minute <= 99 && z.Sekunde >= 0 &&
          z.Sekunde <= 99);

    const std::string anzeige = AnzeigeSatz(zeit, sekunden);
    Check(anzeige.starts_with(" Es ist  ") && anzeige.ends_with("."));
    Check(anzeige.find('~') == std::string::npos);

    const std::string satz = SprechSatz(zeit, sekunden, minuteOderStunde);
    Check(satz.starts_with(" Es ist ~ ") && satz.ends_with("."));
    for (const char c : satz) {
        Check(static_cast<unsigned char>(c) < 0x80);
    }
    int woerter = 0;
    Vorlesen(satz, {
                       [&](int start, int laenge) {
                           Check(start >= 0 && laenge > 0 &&
                                 static_cast<std::size_t>(start + laenge) <= satz.size());
                       },
                       [&](const std::string& wort) {
                           ++woerter;
                           Check(!LadeAufnahme(wort, 1).isEmpty());
                       },
                       [] {},
                   });
    Check(woerter >= 3); // Es, ist, the hour and Uhr at the least
    return 0;
}
