// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: any text splits into arguments without quotes, the numeric value of any
// text is a number, and argv joined by CommandLineText splits back into the same arguments.

#include "FuzzCheck.h"
#include "mGetCMD.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    Check(!std::isnan(NumericValue(text)));

    const bool quoted = text.find('"') != std::string_view::npos;
    for (const int n : {-1, 0, 1, 2, 3, 100, 101}) {
        const std::string arg = GetCMD(text, n);
        Check(arg.find('"') == std::string::npos);
        Check(quoted || arg.find(' ') == std::string::npos);
        Check(n >= 1 || arg.empty());
        Check(n <= 100 || arg.empty());
        Check(!std::isnan(NumericValue(arg)));
    }

    // The input as argv[1..]: NUL separates arguments; a quote cannot be written in the text.
    std::vector<std::string> args(1);
    for (const char c : text) {
        if (c == '\0') {
            args.emplace_back();
        } else if (c != '"') {
            args.back() += c;
        }
    }
    if (args.size() > 100) {
        args.resize(100);
    }
    std::vector<const char*> argv{"tikkaru"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    const std::string line = CommandLineText(static_cast<int>(argv.size()), argv.data());
    for (std::size_t i = 0; i < args.size(); ++i) {
        Check(GetCMD(line, static_cast<int>(i) + 1) == args[i]);
    }
    return 0;
}
