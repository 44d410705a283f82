// SPDX-License-Identifier: GPL-3.0-or-later
#include "mGetCMD.h"

#include <cctype>
#include <charconv>
#include <cstdint>

std::string GetCMD(std::string_view CommandLine, int n) {
    constexpr int Slots = 101;
    if (n < 0 || n >= Slots) {
        return {};
    }
    std::string arg; // only slot n is ever returned, so only slot n is collected
    int nummer = 1;
    bool inQuotes = false;
    for (const char c : CommandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ' ' && !inQuotes) {
            ++nummer;
            if (nummer > n) {
                break;
            }
        } else if (nummer == n) {
            arg += c;
        }
    }
    return arg;
}

std::string CommandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (i > 1) {
            text += ' ';
        }
        text += a.find(' ') == std::string_view::npos ? std::string(a) : '"' + std::string(a) + '"';
    }
    return text;
}

namespace {

double Radix(std::string_view s, std::size_t pos, unsigned radix) {
    std::uint64_t v = 0;
    for (; pos < s.size(); ++pos) {
        const auto d = static_cast<unsigned>(
            std::string_view("0123456789abcdef")
                .find(static_cast<char>(std::tolower(static_cast<unsigned char>(s[pos])))));
        if (d >= radix || v > (UINT64_MAX - d) / radix) {
            break;
        }
        v = v * radix + d;
    }
    return static_cast<double>(v);
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

double NumericValue(std::string_view Text) {
    std::string s;
    for (const char c : Text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            s += c;
        }
    }
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h') {
            return Radix(s, 2, 16);
        }
        if (s[1] == 'O' || s[1] == 'o') {
            return Radix(s, 2, 8);
        }
        return 0;
    }

    // Collect the longest prefix that spells a decimal number, normalised for from_chars.
    std::string num;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') {
            num += '-';
        }
        ++i;
    }
    bool ziffern = false;
    for (; i < s.size() && Digit(s[i]); ++i, ziffern = true) {
        num += s[i];
    }
    if (i < s.size() && s[i] == '.') {
        num += '.';
        for (++i; i < s.size() && Digit(s[i]); ++i, ziffern = true) {
            num += s[i];
        }
    }
    if (!ziffern) {
        return 0;
    }
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exp += s[j];
            ++j;
        }
        if (j < s.size() && Digit(s[j])) {
            for (; j < s.size() && Digit(s[j]); ++j) {
                exp += s[j];
            }
            num += exp;
        }
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), v);
    (void)end;
    // A value too large for a double counts as no number.
    return ec == std::errc() ? v : 0;
}

Aufruf LiesAufruf(std::string_view CommandLine) {
    Aufruf a;
    a.Arg1 = GetCMD(CommandLine, 1);
    a.Sekunden = a.Arg1 == "!!";
    a.Einmal = a.Arg1 == "!" || a.Sekunden;
    a.Stimme = NumericValue(GetCMD(CommandLine, 2));
    return a;
}
