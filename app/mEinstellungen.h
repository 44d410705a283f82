// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QSettings>
#include <QString>

#include <optional>
#include <string>
#include <sys/types.h>

// The per-user settings: text values under application and section, in
// $XDG_CONFIG_HOME/<application>.conf. Values that are not what they should be read as
// their defaults, so a damaged file never stops the clock. Only a regular file (or a link to
// one) is read and written: anything else under that name (a folder, a FIFO, a device such as
// /dev/null that a user links there to keep no settings) reads as no settings and stays as
// it is.
class Einstellungen {
public:
    Einstellungen(const std::string& app, const std::string& section);

    // The settings file of an application.
    static QString Datei(const std::string& app);

    // The stored text, or the default when the key is absent.
    std::string Text(const char* key, const char* def) const;
    // A window edge in pixels; 32 when absent, not a number, or out of any screen's reach.
    int Position(const char* key) const;
    // The stored voice index; 0 when absent, not a whole number, or below -1.
    double Stimme() const;

    // Sets a value; Sichere puts it on disk.
    void Schreibe(const char* key, const QString& text);
    // Puts what was written on disk, when the name is still free or a regular file. Atomically
    // (a failed write leaves the old file), through a link at the file it leads to; a file of
    // several hard links is written in place instead, so that all its names keep it.
    void Sichere();

private:
    // Writes the settings into the file itself, which keeps its inode and so its hard links.
    void SchreibeAnOrt(dev_t geraet, ino_t inode);

    QString datei_;
    QString section_;
    // The file's settings; none where the name is no regular file.
    std::optional<QSettings> settings_;
    // What Schreibe set, by its key within the section; kept apart, so that nothing reaches
    // the disk but through Sichere (QSettings writes its changes on its own otherwise).
    QMap<QString, QString> neu_;
};

// What the clock keeps between runs, under application and section: the window's position in
// pixels, the voice index, the mode ("1" manual to "4" every hour) and the seconds choice ("1").
// Read values that are not what they should be are the defaults.
struct GespeicherterZustand {
    int WinLeft = 32;
    int WinTop = 32;
    double Voice = 0;
    std::string Mode = "3";
    std::string Sekunden = "0";

    static GespeicherterZustand Lies(const std::string& app, const std::string& section);
    // Writes it all, the position only where mitLage (it is known and the window normal).
    void Schreibe(const std::string& app, const std::string& section, bool mitLage) const;
};
