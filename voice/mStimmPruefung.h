// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The check of an external voice folder (tikkaru --check-voice): for each of the 27 word
// pieces, whether an announcement would play its file, and what the file holds. Files are
// found, opened and decoded exactly as the announcement does it (FindFile, Exist,
// SoundDecoder); nothing is played, and neither settings nor the single-instance lock are
// touched.

enum class TeilZustand {
    Ok,               // a non-empty regular file that decodes to a playable sound
    Fehlt,            // nothing in the folder answers to the piece's name
    Leer,             // the file is empty
    NichtLesbar,      // something answers to the name but cannot be opened as a file
    NichtDekodierbar, // the file opens but holds no sound the player can play
};

struct TeilPruefung {
    std::string Wort; // the word piece in lower case, "es"
    TeilZustand Zustand = TeilZustand::Fehlt;
    std::string Datei; // the name in the folder as the file system stores it; "" when none
    std::string Hinweis;
    // The sound, for a file that decodes:
    int Rate = 0;
    int Kanaele = 0;
    std::string Format; // sample encoding, "PCM 16"
    double LaengeMs = 0;
    double SpitzeDb = 0; // peak and RMS level in dB of full scale; -inf for digital silence
    double RmsDb = 0;
    double StilleAnfangMs = 0; // below the silence level at the start and at the end
    double StilleEndeMs = 0;
};

// Samples below this level (dB of full scale) count as silence at the start and at the end.
inline constexpr double StillePegelDb = -50.0;
// Silence at either end longer than this (ms) is pointed out: it is heard inside the sentence.
inline constexpr double StilleHinweisMs = 100.0;

struct StimmPruefung {
    std::string Ordner; // ends in "/"
    bool OrdnerDa = false;
    std::string OrdnerFehler;        // why it is no folder to check, "" for a folder
    std::vector<TeilPruefung> Teile; // the 27 pieces in the order of WortTeile
    bool Angeboten = false;          // the window offers the folder as "Externe Stimme"

    int Spielbar() const;
    bool AllesSpielt() const { return Spielbar() == static_cast<int>(Teile.size()); }
};

// Checks the folder Ordner (with or without a trailing "/"). The hints are German words for
// the command-line report (mStimmBericht).
StimmPruefung PruefeStimme(const std::string& Ordner);
