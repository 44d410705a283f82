// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file holding anything: every value reads as a sensible one or its default,
// and what shutdown writes into that file reads back as written.

#include "FuzzCheck.h"
#include "mEinstellungen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static bool once = [] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        return true;
    }();
    (void)once;
    // A new name each time: QSettings keeps files it has read in a cache of its own.
    static int count = 0;
    const std::string app = "Fuzz" + std::to_string(++count);
    const QString path = dir.path() + "/" + QString::fromStdString(app) + ".conf";
    {
        QFile f(path);
        Check(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    {
        Einstellungen store(app, "Tikkaru");
        (void)store.Text("Mode", "3");
        (void)store.Text("Sekunden", "0");
        for (const char* key : {"WinLeft", "WinTop"}) {
            const int p = store.Position(key);
            Check(p >= -1000000 && p <= 1000000);
        }
        const double v = store.Stimme();
        Check(std::isfinite(v) && v >= -1 && v == std::floor(v));

        store.Schreibe("WinTop", "120");
        store.Schreibe("WinLeft", "-7");
        store.Schreibe("Mode", "4");
        store.Schreibe("Voice", "2");
        store.Schreibe("Sekunden", "1");
        store.Sichere();
    }
    {
        Einstellungen again(app, "Tikkaru");
        Check(again.Position("WinTop") == 120);
        Check(again.Position("WinLeft") == -7);
        Check(again.Text("Mode", "") == "4");
        Check(again.Stimme() == 2);
        Check(again.Text("Sekunden", "") == "1");
    }
    QFile::remove(path);
    return 0;
}
