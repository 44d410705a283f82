// SPDX-License-Identifier: GPL-3.0-or-later
#include "mStimmPruefung.h"

#include "SoundDecoder.h"
#include "mExist.h"
#include "mKatalog.h"
#include "mSagWort.h"

#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

namespace fs = std::filesystem;

namespace {

std::string Klein(std::string_view s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toLower().toStdString();
}

// What stands in the folder under the name, when it is no regular file.
std::string Art(const fs::path& p) {
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    switch (st.type()) {
    case fs::file_type::directory:
        return "ein Ordner";
    case fs::file_type::fifo:
        return "eine FIFO";
    case fs::file_type::socket:
        return "ein Socket";
    case fs::file_type::block:
    case fs::file_type::character:
        return "ein Gerät";
    case fs::file_type::not_found:
        return fs::is_symlink(fs::symlink_status(p, ec)) ? "ein Verweis ins Leere" : "";
    case fs::file_type::regular:
        return "";
    default:
        return "keine Datei";
    }
}

// What a RIFF WAVE file's header says, read without libsndfile, to tell in German why a file
// does not decode and whether it holds all the sound its header promises.
struct WavKopf {
    bool Wave = false; // "RIFF" .... "WAVE"
    bool Fmt = false;  // a fmt chunk of at least 16 bytes
    uint16_t Kodierung = 0;
    uint16_t Kanaele = 0;
    uint32_t Rate = 0;
    uint32_t BytesJeSekunde = 0;
    uint16_t Bits = 0;
    bool Data = false;
    uint64_t DataVersprochen = 0; // the size of the data chunk as the header gives it
    uint64_t DataVorhanden = 0;   // the bytes of it that are in the file
};

uint32_t Le(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

WavKopf LiesWavKopf(const std::string& pfad) {
    WavKopf k;
    // Opened as the decoder opens it: never blocking, regular files only.
    const int fd = OpenRegular(pfad);
    if (fd < 0) {
        return k;
    }
    struct stat st {};
    unsigned char b[16];
    if (::fstat(fd, &st) != 0 || ::pread(fd, b, 12, 0) != 12 || std::memcmp(b, "RIFF", 4) != 0 ||
        std::memcmp(b + 8, "WAVE", 4) != 0) {
        ::close(fd);
        return k;
    }
    k.Wave = true;
    const uint64_t groesse = static_cast<uint64_t>(st.st_size);
    uint64_t pos = 12;
    while (pos + 8 <= groesse && ::pread(fd, b, 8, static_cast<off_t>(pos)) == 8) {
        const uint64_t laenge = Le(b + 4, 4);
        if (std::memcmp(b, "fmt ", 4) == 0 && laenge >= 16 &&
            ::pread(fd, b, 16, static_cast<off_t>(pos + 8)) == 16) {
            k.Fmt = true;
            k.Kodierung = static_cast<uint16_t>(Le(b, 2));
            k.Kanaele = static_cast<uint16_t>(Le(b + 2, 2));
            k.Rate = Le(b + 4, 4);
            k.BytesJeSekunde = Le(b + 8, 4);
            k.Bits = static_cast<uint16_t>(Le(b + 14, 2));
        } else if (std::memcmp(b, "data", 4) == 0) {
            k.Data = true;
            k.DataVersprochen = laenge;
            k.DataVorhanden = std::min(laenge, groesse - pos - 8);
            break;
        }
        pos += 8 + laenge + (laenge & 1);
    }
    ::close(fd);
    return k;
}

// Why a file that libsndfile cannot read does not decode.
std::string Befund(const WavKopf& k) {
    if (!k.Wave) {
        return "weder WAV noch ein anderes Tonformat, das die Uhr liest";
    }
    if (!k.Fmt) {
        return "WAV ohne gültigen fmt-Block";
    }
    if (k.Kanaele == 0 || k.Rate == 0) {
        return "WAV-Kopf nennt " + std::to_string(k.Kanaele) + " Kanäle mit " +
               std::to_string(k.Rate) + " Hz";
    }
    if (!k.Data) {
        return "WAV ohne data-Block";
    }
    char kodierung[8];
    std::snprintf(kodierung, sizeof kodierung, "0x%04X", static_cast<unsigned>(k.Kodierung));
    return std::string("WAV-Kodierung ") + kodierung + " mit " + std::to_string(k.Bits) +
           " Bit wird nicht unterstützt";
}

// A data chunk cut short: the file ends before the sound its header promises. Writers that
// stream give the size 0xFFFFFFFF ("unknown"), which promises nothing.
std::string Abgeschnitten(const WavKopf& k, double laengeMs) {
    if (!k.Data || k.DataVorhanden >= k.DataVersprochen || k.DataVersprochen == 0xFFFFFFFFu) {
        return "";
    }
    if (k.BytesJeSekunde == 0) {
        return "abgeschnitten: " + std::to_string(k.DataVersprochen - k.DataVorhanden) +
               " Bytes fehlen";
    }
    const double versprochenMs = static_cast<double>(k.DataVersprochen) * 1000.0 / k.BytesJeSekunde;
    char text[96];
    std::snprintf(text, sizeof text, "abgeschnitten: laut Kopf %.0f ms, vorhanden %.0f ms",
                  versprochenMs, laengeMs);
    return text;
}

// Regular files in the folder named like the piece under another extension ("uhr.flac" for
// "uhr.wav"), matched as the announcement matches names.
std::vector<std::string> AndereEndungen(const std::string& ordner, const std::string& wort) {
    std::vector<std::string> namen;
    for (const std::string& n : NamesMatching(ordner, wort + ".?*")) {
        if (!SameName(n, wort + ".wav") && FindFile(ordner + n) == ordner + n) {
            namen.push_back(n);
        }
    }
    return namen;
}

double Db(double wert) {
    return wert > 0 ? 20.0 * std::log10(wert) : -std::numeric_limits<double>::infinity();
}

// Levels and silences of a decoded sound, read as the player reads samples that do not fit
// 16 bits: as float, all channels. The hint it gives ("stumm", "übersteuert") or "".
std::string Miss(SoundDecoder& dec, TeilPruefung& t) {
    const int kanaele = dec.Channels();
    const double schwelle = std::pow(10.0, StillePegelDb / 20.0);
    constexpr int64_t block = 4096;
    std::vector<float> puffer(static_cast<std::size_t>(block * kanaele));
    double spitze = 0;
    double quadrate = 0;
    int64_t gelesen = 0;
    int64_t erster = -1; // first and last frame above the silence level
    int64_t letzter = -1;
    for (;;) {
        const int64_t n = dec.ReadFloats(puffer.data(), block);
        if (n <= 0) {
            break;
        }
        for (int64_t f = 0; f < n; ++f) {
            bool laut = false;
            for (int k = 0; k < kanaele; ++k) {
                const double x = std::fabs(puffer[static_cast<std::size_t>(f * kanaele + k)]);
                spitze = std::max(spitze, x);
                quadrate += x * x;
                laut = laut || x > schwelle;
            }
            if (laut) {
                if (erster < 0) {
                    erster = gelesen + f;
                }
                letzter = gelesen + f;
            }
        }
        gelesen += n;
    }
    const double msJeFrame = 1000.0 / dec.SampleRate();
    t.LaengeMs = static_cast<double>(gelesen) * msJeFrame;
    t.SpitzeDb = Db(spitze);
    t.RmsDb = gelesen > 0 ? Db(std::sqrt(quadrate / (static_cast<double>(gelesen) * kanaele)))
                          : -std::numeric_limits<double>::infinity();
    if (erster < 0) {
        t.StilleAnfangMs = t.LaengeMs;
        t.StilleEndeMs = t.LaengeMs;
        return "stumm";
    }
    t.StilleAnfangMs = static_cast<double>(erster) * msJeFrame;
    t.StilleEndeMs = static_cast<double>(gelesen - 1 - letzter) * msJeFrame;
    return spitze >= 1.0 ? "übersteuert" : "";
}

// Milliseconds as whole numbers.
std::string Ms(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", ms);
    return text;
}

// Why the player would not play a sound that decodes, in words; "" when it plays it.
std::string Unspielbar(const SoundDecoder& dec) {
    using R = Refusal;
    switch (Refuses(dec)) {
    case R::None:
        return "";
    case R::NotDecoded:
        return "enthält keine Abtastwerte";
    case R::Rate:
        return "Abtastrate " + std::to_string(dec.SampleRate()) + " Hz nicht abspielbar (" +
               std::to_string(MinPlayRate) + " bis " + std::to_string(MaxPlayRate) + " Hz)";
    case R::Channels:
        return std::to_string(dec.Channels()) + " Kanäle nicht abspielbar (1 bis " +
               std::to_string(MaxPlayChannels) + ")";
    case R::DataRate:
        return "zu viele Daten je Sekunde für den Tondienst (Abtastrate mal Kanäle zu groß)";
    case R::Length:
        return "länger als " + Ms(MaxPlaySeconds) + " s, kein Wortteil";
    }
    return "nicht abspielbar";
}

// A piece with no file under its name: what else stands in the folder under it.
void OhneDatei(const std::string& ordner, const std::vector<std::string>& gleichnamig,
               TeilPruefung& t) {
    if (!gleichnamig.empty()) {
        t.Zustand = TeilZustand::NichtLesbar;
        t.Datei = gleichnamig.front();
        const std::string art = Art(fs::path(ordner) / t.Datei);
        t.Hinweis = art.empty() ? "keine Datei" : "ist " + art;
        return;
    }
    t.Zustand = TeilZustand::Fehlt;
    // The clock looks only for the .wav name, but reads any format by its content.
    const std::vector<std::string> andere = AndereEndungen(ordner, t.Wort);
    if (andere.empty()) {
        return;
    }
    std::string liste;
    std::string umbenennen; // the first of them that would play under the .wav name
    for (const std::string& n : andere) {
        liste += (liste.empty() ? "" : ", ") + n;
        if (umbenennen.empty() && Playable(SoundDecoder::OpenFile(ordner + n))) {
            umbenennen = " (" + n + " umbenennen genügt)";
        }
    }
    t.Hinweis = "nur " + liste + " da; die Uhr spielt nur " + t.Wort + ".wav" + umbenennen;
}

// A non-empty regular file, opened and decoded as the player opens and decodes it.
void Klang(const std::string& pfad, TeilPruefung& t) {
    SoundDecoder dec = SoundDecoder::OpenFile(pfad);
    if (dec.State() == SoundDecoder::Status::NotOpened) {
        t.Zustand = TeilZustand::NichtLesbar;
        t.Hinweis = "lässt sich nicht öffnen";
        return;
    }
    if (!dec.Ok()) {
        t.Zustand = TeilZustand::NichtDekodierbar;
        t.Hinweis = dec.Channels() > 0 ? "enthält keine Abtastwerte" : Befund(LiesWavKopf(pfad));
        return;
    }
    t.Rate = dec.SampleRate();
    t.Kanaele = dec.Channels();
    t.Format = dec.SampleFormat();
    if (const std::string warum = Unspielbar(dec); !warum.empty()) {
        t.Zustand = TeilZustand::NichtDekodierbar;
        t.Hinweis = warum;
        return;
    }
    t.Zustand = TeilZustand::Ok;
    const std::string weiterer = t.Hinweis;
    t.Hinweis = Miss(dec, t);
    // Silence in the file is silence in the sentence: it splits "zwan... zig".
    std::string stille;
    if (t.Hinweis != "stumm") {
        for (const auto& [ms, wo] :
             {std::pair{t.StilleAnfangMs, "vorn"}, {t.StilleEndeMs, "hinten"}}) {
            if (ms > StilleHinweisMs) {
                stille += (stille.empty() ? "" : ", ") + Ms(ms) + " ms Stille " + wo;
            }
        }
    }
    for (const std::string& h : {stille, Abgeschnitten(LiesWavKopf(pfad), t.LaengeMs), weiterer}) {
        if (!h.empty()) {
            t.Hinweis = t.Hinweis.empty() ? h : t.Hinweis + "; " + h;
        }
    }
}

TeilPruefung PruefeTeil(const std::string& ordner, std::string_view name) {
    TeilPruefung t;
    t.Wort = Klein(name);
    const std::string dateiname = t.Wort + ".wav";

    // The lookup and the probe of the announcement: only a regular, readable file counts.
    const std::string gefundenPfad = FindFile(ordner + dateiname);
    const std::string gefunden = gefundenPfad.substr(DirPart(gefundenPfad).size());
    const std::vector<std::string> gleichnamig = NamesLike(ordner, dateiname);
    if (gefunden.empty()) {
        OhneDatei(ordner, gleichnamig, t);
        return t;
    }
    t.Datei = gefunden;
    for (const std::string& n : gleichnamig) {
        if (n != gefunden) {
            t.Hinweis = "auch " + n + ", nicht benutzt";
            break;
        }
    }
    const int32_t laenge = Exist(gefundenPfad);
    if (laenge < 0) {
        t.Zustand = TeilZustand::NichtLesbar;
        t.Hinweis = "lässt sich nicht öffnen";
    } else if (laenge == 0) {
        t.Zustand = TeilZustand::Leer;
    } else {
        Klang(gefundenPfad, t);
    }
    return t;
}

} // namespace

int StimmPruefung::Spielbar() const {
    return static_cast<int>(std::count_if(Teile.begin(), Teile.end(), [](const TeilPruefung& t) {
        return t.Zustand == TeilZustand::Ok;
    }));
}

StimmPruefung PruefeStimme(const std::string& Ordner) {
    StimmPruefung p;
    p.Ordner = Ordner.empty() ? "./" : Ordner;
    if (p.Ordner.back() != '/') {
        p.Ordner += '/';
    }
    std::error_code ec;
    p.OrdnerDa = fs::is_directory(p.Ordner, ec);
    if (!p.OrdnerDa) {
        // What stands there instead, looked at without the trailing "/".
        const fs::path ohne = fs::path(p.Ordner).parent_path();
        const fs::file_type art = fs::status(ohne, ec).type();
        p.OrdnerFehler = art == fs::file_type::regular ? "Das ist kein Ordner, sondern eine Datei."
                         : art == fs::file_type::not_found || art == fs::file_type::none
                             ? "Diesen Ordner gibt es nicht."
                             : "Das ist kein Ordner, sondern " + Art(ohne) + ".";
    }
    for (const std::string_view name : WortTeile) {
        p.Teile.push_back(PruefeTeil(p.Ordner, name));
    }
    p.Angeboten = ExterneStimmeDa(p.Ordner);
    return p;
}
