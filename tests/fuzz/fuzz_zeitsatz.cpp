// SPDX-License-Identifier: GPL-3.0-or-later
// The two sentences of any time text: the spoken one is ASCII, has the fixed beginning and
// end, and its announcement plays to the end with a recording for every word piece in the
// built-in voices.

#include "FakeClock.h"
#include "FakePlayer.h"
#include "FuzzCheck.h"
#include "mAnsage.h"
#include "mKatalog.h"
#include "mZeitSatz.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // The announcement of it, played to its end on a fake clock and player.
    FakeClock clock;
    FakePlayer player(clock);
    int woerter = 0;
    bool fertig = false;
    auto ansage =
        Ansage::Starte(satz, player, clock,
                       {
                           [&](int start, int laenge) {
                               // a word of the sentence, or 0, 0 when the highlight is cleared
                               Check((start == 0 && laenge == 0) ||
                                     (start >= 0 && laenge > 0 &&
                                      static_cast<std::size_t>(start + laenge) <= satz.size()));
                           },
                           [&](const std::string& wort, Meldung meldung) {
                               ++woerter;
                               const QByteArray aufnahme = LadeAufnahme(wort, 1);
                               Check(!aufnahme.isEmpty());
                               player.PlayImage(aufnahme, std::move(meldung));
                               return true;
                           },
                       },
                       [&](const Ergebnis& ergebnis) {
                           Check(ergebnis.stumm.empty() && ergebnis.fehler == PlayFailure::None);
                           fertig = true;
                       });
    clock.Advance(3600);
    Check(fertig);
    Check(woerter >= 3); // Es, ist, the hour and Uhr at the least
    return 0;
}
