// SPDX-License-Identifier: GPL-3.0-or-later
#include "mKatalog.h"

#include <QFile>
#include <QString>

#include <algorithm>

QByteArray LadeAufnahme(const std::string& Name, int Stimme) {
    if (Stimme < 1 || Stimme > EingebauteStimmen)
        return {};
    // Only a known name leads to a resource path, so no name can reach another file.
    const std::string gross = QByteArray::fromStdString(Name).toUpper().toStdString();
    const auto it = std::find(WortTeile.begin(), WortTeile.end(), gross);
    if (it == WortTeile.end())
        return {};
    QFile datei(QStringLiteral(":/voices/%1/%2.wav")
                    .arg(Stimme)
                    .arg(QString::fromLatin1(it->data(), static_cast<qsizetype>(it->size()))));
    if (!datei.open(QIODevice::ReadOnly))
        return {};
    return datei.readAll();
}
