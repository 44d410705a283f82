// SPDX-License-Identifier: GPL-3.0-or-later
#include "mAnsage.h"

#include "mWaitS.h"

#include <QLoggingCategory>

#include <algorithm>
#include <ctime>

// Every change of the highlight with the moment it was made, on the monotonic clock, for
// comparing the highlight with the sound: QT_LOGGING_RULES="tikkaru.ansage.debug=true".
Q_LOGGING_CATEGORY(lcAnsage, "tikkaru.ansage", QtInfoMsg)

namespace {
constexpr double PauseSekunden = 0.25;
// A word that would start later than this after it was due (the process stood still, a
// machine suspended) ends the sentence instead: its time has passed.
constexpr double VerfallSekunden = 1.0;
} // namespace

std::shared_ptr<Ansage> Ansage::Starte(std::string satz, Player& player, Clock& clock,
                                       Vorleser vorleser, std::function<void(Ergebnis)> fertig) {
    auto a = std::make_shared<Ansage>(std::move(satz), player, clock, std::move(vorleser),
                                      std::move(fertig));
    a->Weiter();
    return a;
}

Ansage::Ansage(std::string satz, Player& player, Clock& clock, Vorleser vorleser,
               std::function<void(Ergebnis)> fertig)
    : satz_(std::move(satz)), player_(player), clock_(clock), vorleser_(std::move(vorleser)),
      fertig_(std::move(fertig)), letztesEnde_(clock.MonotonicSeconds()), faellig_(letztesEnde_) {}

Ansage::Wort Ansage::Naechstes() {
    std::string wort;
    for (; pos_ < satz_.size(); ++pos_) {
        const char c = satz_[pos_];
        if (c != '-' && c != ' ' && c != '.') {
            wort += c;
        } else if (!wort.empty()) {
            ++pos_;
            const int start = static_cast<int>(pos_ - 1 - wort.size());
            return {start, std::move(wort)};
        }
    }
    return {};
}

std::function<void()> Ansage::Spaeter(void (Ansage::*f)()) {
    return [w = weak_from_this(), f] {
        if (const auto a = w.lock()) {
            (a.get()->*f)();
        }
    };
}

void Ansage::Markiere(int start, int laenge, const std::string& text) {
    if (lcAnsage().isDebugEnabled()) {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        qCDebug(lcAnsage, "highlight %d %d %s %.6f", start, laenge, text.c_str(),
                static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9);
    }
    vorleser_.Markiere(start, laenge);
}

// The first failure is the one the announcement ends with.
void Ansage::Melde(PlayFailure fehler) {
    if (ergebnis_.fehler == PlayFailure::None) {
        ergebnis_.fehler = fehler;
    }
}

void Ansage::Bereit(std::size_t k) {
    if (k < gezeigt_ || k >= marken_.size()) {
        return; // shown already
    }
    marken_[k].bereit = true;
    while (gezeigt_ < marken_.size() && marken_[gezeigt_].bereit) {
        const Marke& m = marken_[gezeigt_++];
        Markiere(m.start, m.laenge, m.text);
    }
}

void Ansage::BereitUm(std::size_t k, double um) {
    WaitS(um - clock_.MonotonicSeconds(), clock_, [w = weak_from_this(), k] {
        if (const auto a = w.lock()) {
            a->Bereit(k);
        }
    });
}

void Ansage::Weiter() {
    if (clock_.MonotonicSeconds() - faellig_ > VerfallSekunden) {
        ergebnis_.verfallen = true;
        pos_ = satz_.size(); // the rest is left out; what was handed over is heard to its end
    }
    const Wort wort = Naechstes();
    const auto w = weak_from_this();
    if (wort.text.empty()) {
        // The last piece is heard to its end while it is still highlighted.
        player_.Drain([w](PlayFailure fehler) {
            if (const auto a = w.lock()) {
                a->Melde(fehler);
                // Everything has been heard: a word whose moment is still to come (a piece
                // that was not played, just ended) has its turn now.
                for (std::size_t k = a->gezeigt_; k < a->marken_.size(); ++k) {
                    a->Bereit(k);
                }
                a->Markiere(0, 0, "-");
                const auto fertig = std::move(a->fertig_);
                if (fertig) {
                    fertig(std::move(a->ergebnis_));
                }
            }
        });
        return;
    }
    const int laenge = static_cast<int>(wort.text.size());
    const std::size_t k = marken_.size();
    marken_.push_back({wort.start, laenge, wort.text});
    if (wort.text == "~" && player_.PlaysSilence()) {
        // Silence in the player's stream after the sound before it, reported as a piece is:
        // highlighted when it is heard, and the next word follows it without a gap.
        faellig_ = std::max(letztesEnde_, clock_.MonotonicSeconds()) + PauseSekunden;
        player_.PlaySilence(
            PauseSekunden, {[w, k] {
                                if (const auto a = w.lock()) {
                                    a->Bereit(k);
                                }
                            },
                            [w, k](double ende, PlayFailure fehler) {
                                if (const auto a = w.lock()) {
                                    a->Melde(fehler);
                                    a->BereitUm(k, std::max(ende - PauseSekunden, a->letztesEnde_));
                                    a->letztesEnde_ = std::max(a->letztesEnde_, ende);
                                    a->faellig_ = ende;
                                    a->Weiter();
                                }
                            }});
        return;
    }
    if (wort.text == "~") {
        // From the end of the sound before it: highlighted then, and 0.25 s long.
        const double bisEnde = std::max(0.0, letztesEnde_ - clock_.MonotonicSeconds());
        faellig_ = clock_.MonotonicSeconds() + bisEnde + PauseSekunden;
        WaitS(bisEnde, clock_, [w, k] {
            if (const auto a = w.lock()) {
                a->Bereit(k);
                WaitS(PauseSekunden, a->clock_, a->Spaeter(&Ansage::Weiter));
            }
        });
        return;
    }
    Meldung meldung{
        [w, k] {
            if (const auto a = w.lock()) {
                a->Bereit(k);
            }
        },
        [w, k](double ende, PlayFailure fehler) {
            if (const auto a = w.lock()) {
                a->Melde(fehler);
                // Not heard (it could not be played, or its report is late): highlighted when
                // it would have ended, after the sound before it.
                a->BereitUm(k, std::max(ende, a->letztesEnde_));
                a->letztesEnde_ = std::max(a->letztesEnde_, ende);
                a->faellig_ = ende;
                a->Weiter();
            }
        },
    };
    if (!vorleser_.Spiele(wort.text, std::move(meldung))) {
        // Silence: highlighted once the sound before it has ended, and the walk goes on from
        // the event loop at once, so that the next piece follows that sound without a gap.
        std::vector<std::string>& stumm = ergebnis_.stumm;
        if (std::find(stumm.begin(), stumm.end(), wort.text) == stumm.end()) {
            stumm.push_back(wort.text);
        }
        BereitUm(k, letztesEnde_);
        letztesEnde_ = std::max(letztesEnde_, clock_.MonotonicSeconds());
        faellig_ = clock_.MonotonicSeconds();
        WaitS(0, clock_, Spaeter(&Ansage::Weiter));
    }
}
