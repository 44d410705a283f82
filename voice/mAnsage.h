// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

// What reading a spoken sentence does with each word.
struct Vorleser {
    // Highlight the word: 0-based start and length in the sentence.
    std::function<void(int Start, int Laenge)> Markiere;
    // Play one word piece (after the highlight).
    std::function<void(const std::string& Wort)> Spiele;
    // Wait out a pause mark "~".
    std::function<void()> Pause;
};

// Walks a spoken sentence: "-", " " and "." end a word, empty words are skipped, "~" is a
// pause and every other word a piece to play. Each word is highlighted before it is
// played or waited out.
void Vorlesen(std::string_view Satz, const Vorleser& v);
