// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file probe: whether a file exists and how long it is.

// The folder part of PathName, up to and including its last "/" ("" when there is none).
std::string DirPart(const std::string& PathName);

// The path, as the file system stores it now, of the first regular file that PathName names,
// or "" when there is none. The last path component is matched without regard to letter case
// ("Es.wav" finds "es.wav"; the exact name is tried first) and may hold the wildcards "*" (any
// run of characters) and "?" (any one character), and a pattern ending in ".*" also matches a
// name without extension; where several names match, the first in alphabetical order, without
// regard to case, wins. When the folder holding it does not exist, a folder of the same name
// in another letter case is looked in ("DATA/es.wav" finds "Data/es.wav"). Folders, hidden
// files (a name starting with "."), FIFOs, sockets and devices never count. The lookup reads
// only folders and the files' attributes, so it never blocks.
std::string FindFile(const std::string& PathName);

// Every name in folder Dir ("" for the current one) that Pattern matches as FindFile matches
// the last path component (letter case, "*" and "?"), whatever it is, hidden names left out;
// in the order of the case-folded names.
std::vector<std::string> NamesMatching(const std::string& Dir, const std::string& Pattern);

// Every name in folder Dir ("" for the current one) that equals Name without regard to letter
// case, whatever it is (file, folder, FIFO, ...), hidden names left out; in the order of the
// case-folded names, as a case-blind file system lists them.
std::vector<std::string> NamesLike(const std::string& Dir, const std::string& Name);

// The folder Dir (ending in "/") as it is stored now: itself when it exists, otherwise the
// folder of the same name in another letter case ("DATA/" finds "Data/"), so that a folder
// made or renamed while the clock runs is seen at the next lookup; Dir when there is none.
std::string StoredFolder(const std::string& Dir);

// Whether two file names are the same without regard to letter case.
bool SameName(const std::string& a, const std::string& b);

// Opens path for reading without ever blocking (a FIFO or device under the name must not stop
// the clock) and keeps it only when it is a regular file: its descriptor, or -1.
int OpenRegular(const std::string& path);

// -1 when PathName names no regular, non-hidden file or the file cannot be opened for reading,
// otherwise its length in bytes (clamped to the 32-bit range; 0 for an empty file). The file
// is opened without blocking.
int32_t Exist(const std::string& PathName);
