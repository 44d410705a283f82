// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEinstellungen.h"

#include <cmath>

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

} // namespace

Einstellungen::Einstellungen(const std::string& app, const std::string& section)
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(app)) {
    settings_.beginGroup(QString::fromStdString(section));
}

std::string Einstellungen::Text(const char* key, const char* def) const {
    const QVariant v = settings_.value(key);
    if (!v.isValid()) {
        return def;
    }
    return v.toString().toStdString();
}

int Einstellungen::Position(const char* key) const {
    double v = 32;
    if (!Zahl(QString::fromStdString(Text(key, "32")), -1e6, 1e6, v)) {
        return 32;
    }
    return static_cast<int>(std::lround(v));
}

double Einstellungen::Stimme() const {
    double v = 0;
    if (!Zahl(QString::fromStdString(Text("Voice", "0")), -1, 1e6, v) || v != std::floor(v)) {
        return 0;
    }
    return v;
}

void Einstellungen::Schreibe(const char* key, const QString& text) {
    settings_.setValue(key, text);
}

void Einstellungen::Sichere() {
    settings_.sync();
}
