// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Version text of major, minor, revision: "1.00", "2.05c", "1.12ß" (UTF-8).
std::string ProgVer(int Major, int Minor, int Revision);

// This program's version text.
std::string ProgVer();
