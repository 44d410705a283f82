// SPDX-License-Identifier: GPL-3.0-or-later
// tools/voice-report's helper: reads "HH:MM:SS seconds minuteOrHour" lines and prints each
// sentence's words as the clock's announcement plays them: "~" for a pause, a piece prefixed
// with "-" when it continues a number. Built with the clock, so that a change of the
// announcement's interface breaks the build rather than the tool.
#include "FakeClock.h"
#include "mAnsage.h"
#include "mZeitSatz.h"

#include <iostream>
#include <string>

namespace {
// Every sound is heard at once and nearly over a moment later; the fake clock runs the reports.
class SofortPlayer final : public Player {
public:
    explicit SofortPlayer(FakeClock& clock) : clock_(clock) {}
    void PlayImage(const QByteArray&, Meldung meldung) override { Spiele(std::move(meldung)); }
    void PlayFile(const std::string&, Meldung meldung) override { Spiele(std::move(meldung)); }
    void Drain(std::function<void(PlayFailure)> fertig) override {
        clock_.Wecke(0, [f = std::move(fertig)] { f(PlayFailure::None); });
    }
    void Spiele(Meldung meldung) {
        clock_.Wecke(0, [&clock = clock_, m = std::move(meldung)] {
            m.Gehoert();
            m.FastVorbei(clock.MonotonicSeconds() + 0.1, PlayFailure::None);
        });
    }

private:
    FakeClock& clock_;
};
} // namespace

int main() {
    std::string zeit;
    int sek = 0, mos = 0;
    while (std::cin >> zeit >> sek >> mos) {
        const std::string satz = SprechSatz(zeit, sek != 0, mos != 0);
        FakeClock clock;
        SofortPlayer player(clock);
        std::size_t pos = 0;
        bool fertig = false;
        const auto ansage = Ansage::Starte(
            satz, player, clock,
            {[&](int start, int laenge) {
                 if (laenge == 1 && satz[static_cast<std::size_t>(start)] == '~') {
                     std::cout << "~ ";
                 }
             },
             [&](const std::string& w, Meldung meldung) {
                 pos = satz.find(w, pos);
                 std::cout << (pos != std::string::npos && pos > 0 && satz[pos - 1] == '-' ? "-"
                                                                                           : "")
                           << w << ' ';
                 pos = pos == std::string::npos ? satz.size() : pos + w.size();
                 player.Spiele(std::move(meldung));
                 return true;
             }},
            [&](const Ergebnis&) { fertig = true; });
        while (!fertig && clock.PendingAlarms() > 0) {
            clock.Advance(1);
        }
        std::cout << '\n';
    }
}
