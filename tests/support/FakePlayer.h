// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeClock.h"
#include "Player.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

// Records what would have been played, and plays it on a fake clock: each sound is heard for
// `seconds` after the one before it, reported heard when it starts and nearly over `ahead`
// before its end, through the clock's alarms (for a sound shorter than `ahead` that is before
// it is heard, as from the real player). onHeard runs when a sound starts to be heard, after
// its report, so a test can look at the window then. A sound that `unplayable` names is not
// heard: it fails at once, as an undecodable one or one without a sound server does. With
// playsSilence a pause is played as a sound of its length (recorded in pauses, not in calls).
class FakePlayer final : public Player {
public:
    struct Call {
        bool file = false;
        QByteArray image;
        std::string path;
    };

    explicit FakePlayer(FakeClock& clock) : clock_(clock) {}

    void PlayImage(const QByteArray& wav, Meldung meldung) override {
        calls.push_back({false, wav, {}});
        Queue(std::move(meldung), seconds, true);
    }
    void PlayFile(const std::string& path, Meldung meldung) override {
        calls.push_back({true, {}, path});
        Queue(std::move(meldung), seconds, true);
    }
    bool PlaysSilence() const override { return playsSilence; }
    void PlaySilence(double length, Meldung meldung) override {
        pauses.push_back(length);
        Queue(std::move(meldung), length, false);
    }
    void PrepareImage(const QByteArray& wav) override { prepared.push_back({false, wav, {}}); }
    void PrepareFile(const std::string& path) override { prepared.push_back({true, {}, path}); }
    void Drain(std::function<void(PlayFailure)> fertig) override {
        clock_.Wecke(queuedUntil_ - clock_.MonotonicSeconds(), [this, fertig = std::move(fertig)] {
            ++drains;
            fertig(failure);
        });
    }
    // A failure while the sounds handed over so far play, as the real player tells it: the
    // sounds not yet reported nearly over are reported with it.
    void Fail(PlayFailure why) {
        for (std::size_t i = reported_; i < failures_.size(); ++i) {
            if (failures_[i] == PlayFailure::None) {
                failures_[i] = why;
            }
        }
    }

    std::vector<Call> calls;
    std::vector<Call> prepared; // what the player was asked to get ready for
    std::vector<double> pauses; // the pauses it played
    bool playsSilence = false;
    int drains = 0;
    double seconds = 0.3; // how long each sound is heard
    double ahead = 0.02;  // how long before its end a sound is reported nearly over
    double latency = 0;   // how long after it is handed over a sound starts when none plays
    PlayFailure failure = PlayFailure::None; // what every sound fails with
    std::function<void(const Call&)> onHeard;
    std::function<bool(const Call&)> unplayable;

private:
    void Queue(Meldung meldung, double length, bool sound) {
        const double now = clock_.MonotonicSeconds();
        if (sound && unplayable && unplayable(calls.back())) {
            clock_.Wecke(0, [fast = std::move(meldung.FastVorbei), now] {
                if (fast) {
                    fast(now, PlayFailure::Undecodable);
                }
            });
            return;
        }
        const double start = std::max(now + latency, queuedUntil_);
        const double end = start + length;
        queuedUntil_ = end;
        clock_.Wecke(start - now,
                     [this, gehoert = std::move(meldung.Gehoert), i = calls.size() - 1, sound] {
                         if (gehoert) {
                             gehoert();
                         }
                         if (onHeard && sound) {
                             onHeard(calls[i]);
                         }
                     });
        failures_.push_back(failure);
        clock_.Wecke(end - ahead - now,
                     [this, fast = std::move(meldung.FastVorbei), end, i = failures_.size() - 1] {
                         reported_ = i + 1;
                         if (fast) {
                             fast(end, failures_[i]);
                         }
                     });
    }

    FakeClock& clock_;
    double queuedUntil_ = 0;
    std::vector<PlayFailure> failures_; // each sound's, reported when it is nearly over
    std::size_t reported_ = 0;          // the sounds reported so far, in order
};
