// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "Player.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// What reading a spoken sentence does with each word.
struct Vorleser {
    // Highlight the word: 0-based start and length in the sentence; 0, 0 clears it.
    std::function<void(int Start, int Laenge)> Markiere;
    // Play one word piece (SagWort); false when it has no recording (silence, nothing told).
    std::function<bool(const std::string& Wort, Meldung meldung)> Spiele;
};

// What an announcement ended with: the first failure of the player among its sounds, and the
// pieces that had no recording, each once, in the order spoken.
struct Ergebnis {
    PlayFailure fehler = PlayFailure::None;
    std::vector<std::string> stumm;
    // The sentence was ended before its end: its time had passed (the process stood still).
    bool verfallen = false;
};

// One announcement: walks a spoken sentence, driven by the event loop, never by waiting. "-",
// " " and "." end a word, empty words are skipped, "~" is a pause and every other word a piece
// to play. A piece is handed to the player and highlighted when the player reports it heard;
// when it is nearly over, the next word follows, so that the pieces join without a gap (the
// voice of the next piece is chosen then). A pause is highlighted when the sound before it has
// ended and lasts 0.25 s from there (played by the player as silence where it can, so that
// the stream plays on through it; timed here otherwise); so is a piece that has no recording
// (silence), and one the player could not play, not before it would have ended. The highlight moves
// in the order of the sentence only: a word is highlighted once every word before it has been. A
// word that would start more than a second after it was due (the process stood still) is not
// spoken, nor the rest: the sentence ends there, verfallen. After the last piece has been
// heard the highlight is cleared and fertig is told the result.
//
// Held by a shared pointer: the reports of the player and the clock reach the announcement
// only while it exists, so dropping it ends it.
class Ansage : public std::enable_shared_from_this<Ansage> {
public:
    static std::shared_ptr<Ansage> Starte(std::string satz, Player& player, Clock& clock,
                                          Vorleser vorleser, std::function<void(Ergebnis)> fertig);

    Ansage(std::string satz, Player& player, Clock& clock, Vorleser vorleser,
           std::function<void(Ergebnis)> fertig);

private:
    struct Wort {
        int start = 0;
        std::string text; // empty at the end of the sentence
    };
    // A word's highlight, in the order of the sentence; bereit once its moment has come.
    struct Marke {
        int start = 0;
        int laenge = 0;
        std::string text;
        bool bereit = false;
    };
    Wort Naechstes();
    void Weiter();
    // The highlight of word k may be shown: it is, with every one after it that may, once all
    // before it have been.
    void Bereit(std::size_t k);
    // The same at the monotonic time um (at once when that has passed).
    void BereitUm(std::size_t k, double um);
    void Markiere(int start, int laenge, const std::string& text);
    void Melde(PlayFailure fehler);
    // Runs f on this announcement later, if it still exists then.
    std::function<void()> Spaeter(void (Ansage::*f)());

    const std::string satz_;
    Player& player_;
    Clock& clock_;
    const Vorleser vorleser_;
    std::function<void(Ergebnis)> fertig_;
    std::size_t pos_ = 0;
    // When the sound handed over last ends (monotonic): a pause counts from there.
    double letztesEnde_ = 0;
    Ergebnis ergebnis_;
    std::vector<Marke> marken_;
    std::size_t gezeigt_ = 0; // highlights shown so far
    // When the next word is due to start (monotonic).
    double faellig_ = 0;
};
