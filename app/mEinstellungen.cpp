// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEinstellungen.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stored number: the whole text must be one, within [min, max].
bool Zahl(const QString& text, double min, double max, double& wert) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < min || v > max) {
        return false;
    }
    wert = v;
    return true;
}

// What lies under a name, links followed: nothing at all, a regular file (its status in st),
// or something else, a link that leads nowhere included.
enum class Art { Frei, Datei, Anderes };

Art WasLiegtDa(const QString& pfad, struct stat& st) {
    const QByteArray name = QFile::encodeName(pfad);
    if (::stat(name.constData(), &st) == 0) {
        return S_ISREG(st.st_mode) ? Art::Datei : Art::Anderes;
    }
    struct stat link {};
    if (errno == ENOENT && ::lstat(name.constData(), &link) != 0 && errno == ENOENT) {
        return Art::Frei;
    }
    return Art::Anderes;
}

// Writes all of text at the file's start and cuts the file there.
bool SchreibeAlles(QFile& datei, const QByteArray& text) {
    return datei.seek(0) && datei.write(text) == text.size() && datei.flush() &&
           datei.resize(text.size());
}

} // namespace

QString Einstellungen::Datei(const std::string& app) {
    // Where QSettings keeps an organisation's settings on this platform.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
           QString::fromStdString(app) + ".conf";
}

Einstellungen::Einstellungen(const std::string& app, const std::string& section)
    : datei_(Datei(app)), section_(QString::fromStdString(section)) {
    // Looked at before QSettings opens it: opening a FIFO for reading blocks for good.
    struct stat st {};
    if (WasLiegtDa(datei_, st) != Art::Anderes) {
        settings_.emplace(datei_, QSettings::IniFormat);
        settings_->beginGroup(section_);
    }
}

std::string Einstellungen::Text(const char* key, const char* def) const {
    if (const auto n = neu_.constFind(key); n != neu_.constEnd()) {
        return n->toStdString();
    }
    const QVariant v = settings_ ? settings_->value(key) : QVariant();
    if (!v.isValid()) {
        return def;
    }
    return v.toString().toStdString();
}

int Einstellungen::Position(const char* key) const {
    double v = 32; // kept where the text is no number in reach
    Zahl(QString::fromStdString(Text(key, "32")), -1e6, 1e6, v);
    return static_cast<int>(std::lround(v));
}

double Einstellungen::Stimme() const {
    double v = 0;
    const bool zahl = Zahl(QString::fromStdString(Text("Voice", "0")), -1, 1e6, v);
    return zahl && v == std::floor(v) ? v : 0;
}

void Einstellungen::Schreibe(const char* key, const QString& text) {
    neu_.insert(key, text);
}

void Einstellungen::Sichere() {
    if (!settings_ || neu_.isEmpty()) {
        return;
    }
    // Looked at again: the name may have become something else since start-up.
    struct stat st {};
    const Art art = WasLiegtDa(datei_, st);
    if (art == Art::Anderes) {
        return;
    }
    if (art == Art::Datei && st.st_nlink > 1) {
        SchreibeAnOrt(st.st_dev, st.st_ino);
        return;
    }
    // QSettings writes a new file beside the old one (beside a link's target, which the link
    // keeps) and renames it over the old one.
    for (auto n = neu_.constBegin(); n != neu_.constEnd(); ++n) {
        settings_->setValue(n.key(), n.value());
    }
    settings_->sync();
    neu_.clear();
}

void Einstellungen::SchreibeAnOrt(dev_t geraet, ino_t inode) {
    // The whole new content, as QSettings writes it, made in a folder of its own: the file's
    // settings with what was written on top.
    QTemporaryDir ordner;
    if (!ordner.isValid()) {
        return;
    }
    const QString kopie = ordner.filePath("kopie.conf");
    {
        QSettings aus(kopie, QSettings::IniFormat);
        settings_->endGroup();
        for (const QString& key : settings_->allKeys()) {
            aus.setValue(key, settings_->value(key));
        }
        settings_->beginGroup(section_);
        aus.beginGroup(section_);
        for (auto n = neu_.constBegin(); n != neu_.constEnd(); ++n) {
            aus.setValue(n.key(), n.value());
        }
        aus.endGroup();
        aus.sync();
        if (aus.status() != QSettings::NoError) {
            return;
        }
    }
    QFile gemacht(kopie);
    if (!gemacht.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray text = gemacht.readAll();

    // The same file as looked at, opened without blocking, whatever came under the name since.
    const int fd =
        ::open(QFile::encodeName(datei_).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat st {};
    QFile ort;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == geraet && st.st_ino == inode &&
        ort.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        const QByteArray alt = ort.readAll();
        // Not atomic: where the disk is full halfway, the old content goes back (it fitted).
        if (ort.error() == QFileDevice::NoError && alt != text) {
            if (SchreibeAlles(ort, text)) {
                ::fsync(fd);
                neu_.clear();
            } else {
                SchreibeAlles(ort, alt);
            }
        }
        ort.close();
    }
    ::close(fd);
}

GespeicherterZustand GespeicherterZustand::Lies(const std::string& app,
                                                const std::string& section) {
    const GespeicherterZustand vorgabe;
    const Einstellungen store(app, section);
    GespeicherterZustand z;
    z.WinLeft = store.Position("WinLeft");
    z.WinTop = store.Position("WinTop");
    z.Voice = store.Stimme();
    z.Mode = store.Text("Mode", vorgabe.Mode.c_str());
    z.Sekunden = store.Text("Sekunden", vorgabe.Sekunden.c_str());
    return z;
}

void GespeicherterZustand::Schreibe(const std::string& app, const std::string& section,
                                    bool mitLage) const {
    Einstellungen store(app, section);
    if (mitLage) {
        store.Schreibe("WinTop", QString::number(WinTop));
        store.Schreibe("WinLeft", QString::number(WinLeft));
    }
    store.Schreibe("Mode", QString::fromStdString(Mode));
    store.Schreibe("Voice", QString::number(Voice));
    store.Schreibe("Sekunden", QString::fromStdString(Sekunden));
    store.Sichere();
}
