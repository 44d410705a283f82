// SPDX-License-Identifier: GPL-3.0-or-later
#include "Postfach.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

Postfach::Postfach() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    Hoere();
}

Postfach::~Postfach() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void Postfach::Hoere() {
    if (notifier_ || fd_ < 0 || QAbstractEventDispatcher::instance(thread()) == nullptr) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &Postfach::Leere);
}

void Postfach::Schicke(std::function<void()> f) {
    {
        const std::lock_guard<std::mutex> g(mutex_);
        post_.push_back(std::move(f));
    }
    const uint64_t eins = 1;
    [[maybe_unused]] const auto n = ::write(fd_, &eins, sizeof eins);
}

void Postfach::Leere() {
    uint64_t zahl = 0;
    [[maybe_unused]] const auto n = ::read(fd_, &zahl, sizeof zahl);
    std::vector<std::function<void()>> post;
    {
        const std::lock_guard<std::mutex> g(mutex_);
        post.swap(post_);
    }
    for (const auto& f : post) {
        f();
    }
}
