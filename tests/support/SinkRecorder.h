// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <cstring>
#include <vector>

// Records what a sound server plays into a sink, from the sink's monitor, with parec: 16-bit
// mono at the given rate. parec writes straight into a file, so nothing is lost while the
// caller is blocked in a synchronous play.
class SinkRecorder {
public:
    SinkRecorder(QString sink, int rate) : sink_(std::move(sink)), rate_(rate) {}
    ~SinkRecorder() { Stop(); }

    int Rate() const { return rate_; }

    // Starts recording and returns once samples arrive (false when parec is missing or
    // records nothing within a few seconds).
    bool Start() {
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty() || !dir_.isValid()) {
            return false;
        }
        path_ = dir_.filePath(QStringLiteral("monitor.raw"));
        parec_.setStandardOutputFile(path_);
        parec_.setStandardErrorFile(QProcess::nullDevice());
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("-d"), sink_ + QStringLiteral(".monitor"),
                      QStringLiteral("--latency-msec=10"), QStringLiteral("--format=s16le"),
                      QStringLiteral("--rate=%1").arg(rate_), QStringLiteral("--channels=1"),
                      QStringLiteral("--raw")});
        if (!parec_.waitForStarted(5000)) {
            return false;
        }
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            if (QFileInfo(path_).size() > 0) {
                return true;
            }
            QThread::msleep(5);
        }
        return false;
    }

    // Records on for tailMs (so the end of the last sound is in), stops and returns the samples.
    std::vector<int16_t> Stop(int tailMs = 0) {
        if (parec_.state() == QProcess::NotRunning) {
            return {};
        }
        QThread::msleep(static_cast<unsigned long>(tailMs));
        parec_.terminate();
        if (!parec_.waitForFinished(5000)) {
            parec_.kill();
            parec_.waitForFinished(5000);
        }
        QFile f(path_);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray bytes = f.readAll();
        std::vector<int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    QString sink_;
    int rate_;
    QTemporaryDir dir_;
    QString path_;
    QProcess parec_;
};
