// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AlignedTimer.h"
#include "FakeClock.h"
#include "FakePlayer.h"
#include "Form1.h"
#include "Satzfeld.h"
#include "mKatalog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// A window driven by a fake clock and player. Pieces are heard for a fixed time of the fake
// clock (player.seconds); Run delivers the timer ticks that fall due meanwhile, as the event
// loop would.
struct FormFixture {
    FakeClock clock;
    FakePlayer player{clock};
    int endCalls = 0;
    int endStatus = -1;                 // of the first end: the real program ends there
    std::vector<std::string> endSilent; // the silent pieces the last end named
    std::unique_ptr<Form1> form;

    double nextTick = 0;

    // Each piece as it is heard: the selected text of TT, the voice it was played in and when.
    struct Played {
        QString highlighted;
        int voice;
        double at;
    };
    std::vector<Played> played;

    explicit FormFixture(Prozess p = {}) {
        p.EndProgram = [this](int status, const std::vector<std::string>& stumm) {
            endSilent = stumm;
            if (endCalls++ == 0) {
                endStatus = status;
            }
        };
        form = std::make_unique<Form1>(clock, player, std::move(p));
        form->Timer1->stop(); // ticks come from the fixture
        player.onHeard = [this](const FakePlayer::Call& call) {
            played.push_back(
                {form->TT->selectedText(), VoiceOf(call.image), clock.MonotonicSeconds()});
        };
    }

    // Lets the announcement under way be heard to its end, without ticks.
    void SpeakToEnd() {
        for (int i = 0; i < 10000 && form->vBusy == 1; ++i) {
            clock.Advance(0.01);
        }
    }

    // The built-in voice whose recording an image is (0 if none).
    static int VoiceOf(const QByteArray& image) {
        for (int v = 1; v <= EingebauteStimmen; ++v) {
            for (const std::string_view name : WortTeile) {
                if (LadeAufnahme(std::string(name), v) == image) {
                    return v;
                }
            }
        }
        return 0;
    }

    // Fills the voice list as start-up does, selecting entry 0.
    void FillVoices() {
        for (const EingebauteStimme& s : StimmKatalog) {
            form->coVoice->addItem(
                QString::fromUtf8(s.Eintrag.data(), static_cast<qsizetype>(s.Eintrag.size())));
        }
        form->coVoice->setCurrentIndex(0);
    }

    // Every tick whose time has come, on the half second.
    void DueTicks() {
        while (clock.MonotonicSeconds() >= nextTick) {
            nextTick += 0.5;
            form->Timer1_Timer();
        }
    }

    // Runs the clock from h:m:s for the given seconds, ticking every half second.
    void Run(int h, int m, double s, double seconds) {
        clock.Set(h, m, s);
        nextTick = clock.MonotonicSeconds();
        RunFor(seconds);
    }
    void RunFor(double seconds) {
        const double end = clock.MonotonicSeconds() + seconds;
        while (clock.MonotonicSeconds() < end) {
            DueTicks();
            clock.Advance(0.01);
        }
    }

    // Announcements heard to their end, and the one under way.
    int Announcements() const { return player.drains + (form->vBusy == 1 ? 1 : 0); }

    // Fills the voice list, shows the window and makes it the active window.
    bool FillVoicesAndShowActive() {
        FillVoices();
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }
};
