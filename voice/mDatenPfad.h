// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The folder of the external voice below the current directory dir, ending in "/": dir, a "/"
// when it does not end in one, and the folder "DATA". Its name is matched without regard to
// letter case ("data", "Data" serve as well) and given as the file system stores it; when no
// such folder exists the result names "DATA". An empty dir (the current directory is unknown)
// stands for "./". The file lookup finds the folder in another letter case too, so a folder
// made or renamed later is still found.
std::string DatenPfad(const std::string& dir);
