// SPDX-License-Identifier: GPL-3.0-or-later
// Asks the running window for its version over the session bus, one call every PERIOD ms
// (at once after a call that took longer), for SECONDS, over one connection. Prints a line
// per call: its start on the monotonic clock in seconds and how long the answer took in ms
// ("-1" for no answer within 10 s). Usage: busping SECONDS [PERIOD_MS]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double dauer = argc > 1 ? std::atof(argv[1]) : 10;
    const auto periode = std::chrono::milliseconds(argc > 2 ? std::atoi(argv[2]) : 20);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fputs("busping: no session bus\n", stderr);
        return 1;
    }
    using Uhr = std::chrono::steady_clock;
    const auto ende = Uhr::now() + std::chrono::duration_cast<Uhr::duration>(
                                       std::chrono::duration<double>(dauer));
    auto naechster = Uhr::now();
    while (Uhr::now() < ende) {
        std::this_thread::sleep_until(naechster);
        const auto t0 = Uhr::now();
        const QDBusMessage frage = QDBusMessage::createMethodCall(
            QStringLiteral("org.quorvane.Tikkaru"), QStringLiteral("/"),
            QStringLiteral("org.quorvane.Tikkaru"), QStringLiteral("Version"));
        const QDBusMessage antwort = bus.call(frage, QDBus::Block, 10000);
        const auto t1 = Uhr::now();
        const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        std::printf("%.6f %.3f\n", std::chrono::duration<double>(t0.time_since_epoch()).count(),
                    antwort.type() == QDBusMessage::ReplyMessage ? ms : -1.0);
        std::fflush(stdout);
        naechster = t0 + periode;
    }
    return 0;
}
