// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <QString>

#include <string>

// The per-user settings: text values under application and section, in
// $XDG_CONFIG_HOME/<application>.conf. Values that are not what they should be read as
// their defaults, so a damaged file never stops the clock.
class Einstellungen {
public:
    Einstellungen(const std::string& app, const std::string& section);

    // The stored text, or the default when the key is absent.
    std::string Text(const char* key, const char* def) const;
    // A window edge in pixels; 32 when absent, not a number, or out of any screen's reach.
    int Position(const char* key) const;
    // The stored voice index; 0 when absent, not a whole number, or below -1.
    double Stimme() const;

    void Schreibe(const char* key, const QString& text);
    // Puts what was written on disk (atomically: a failed write leaves the old file).
    void Sichere();

private:
    QSettings settings_;
};
