// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Player.h"

#include <functional>
#include <string>
#include <vector>

// Records what would have been played. onPlay runs inside every play, where the real player
// would block, so a test can look at the window or move a fake clock then.
class FakePlayer final : public Player {
public:
    struct Call {
        bool file = false;
        QByteArray image;
        std::string path;
    };

    void PlayImage(const QByteArray& wav) override {
        calls.push_back({false, wav, {}});
        if (onPlay) {
            onPlay();
        }
    }
    void PlayFile(const std::string& path) override {
        calls.push_back({true, {}, path});
        if (onPlay) {
            onPlay();
        }
    }
    void Drain() override { ++drains; }
    double LeftToPlay() const override { return left; }
    PlayFailure FirstFailure() const override { return failure; }
    void BeginAnnouncement() override {
        ++announcements;
        announcementFailure = PlayFailure::None;
    }
    PlayFailure AnnouncementFailure() const override { return announcementFailure; }
    // A failure while playing, as the real player keeps it.
    void Fail(PlayFailure why) {
        if (failure == PlayFailure::None) {
            failure = why;
        }
        if (announcementFailure == PlayFailure::None) {
            announcementFailure = why;
        }
    }

    std::vector<Call> calls;
    int drains = 0;
    double left = 0; // what each play leaves to be heard when it returns
    PlayFailure failure = PlayFailure::None;
    PlayFailure announcementFailure = PlayFailure::None;
    int announcements = 0;
    std::function<void()> onPlay;
};
