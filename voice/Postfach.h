// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QSocketNotifier;

// Runs functions handed over from any thread on the thread that made the mailbox, from that
// thread's event loop. The hand-over goes through a mutex and an eventfd rather than Qt's event
// queue: what the sending thread did before is then ordered before the function runs in a way
// that ThreadSanitizer sees too, and nothing of the function is made or freed on the other
// thread. Functions not yet run when the mailbox goes are dropped.
class Postfach final : public QObject {
public:
    Postfach();
    ~Postfach() override;
    Q_DISABLE_COPY_MOVE(Postfach)

    // From any thread.
    void Schicke(std::function<void()> f);
    // On the owner's thread: starts listening once its event loop can (a mailbox made before
    // the application object listens from the first call after it). Cheap when listening.
    void Hoere();

private:
    void Leere();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::mutex mutex_;
    std::vector<std::function<void()>> post_; // mutex_
};
