// SPDX-License-Identifier: GPL-3.0-or-later
#include "mExist.h"

#include <QFile>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

bool IsHidden(const std::string& name) {
    return name.empty() || name.front() == '.';
}

// Whether path is, links followed, of the file type (S_IFREG, S_IFDIR).
bool IsA(const std::string& path, mode_t type) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

QString Folded(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name)).toCaseFolded();
}

// "*" matches any run of characters, "?" any one; both strings are already case-folded.
bool Matches(const QString& pattern, const QString& name) {
    qsizetype p = 0;
    qsizetype n = 0;
    // Iterative match with one backtrack point for the last "*" seen.
    qsizetype star = -1;
    qsizetype resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

bool NameMatches(const QString& pattern, const QString& name) {
    if (Matches(pattern, name)) {
        return true;
    }
    // As in the classic directory lookup, a pattern ending in ".*" also matches a name
    // without that extension ("es.*" finds "es", "*.*" finds every name).
    if (pattern.endsWith(u".*") && !name.contains(u'.')) {
        return Matches(pattern.first(pattern.size() - 2), name);
    }
    return false;
}

// The names in folder dir (ending in "/", or "" for the current folder) that fit the case-folded
// pattern, without hidden names, in the order of the folded names, as a case-blind file system
// lists them.
std::vector<std::string> Names(const std::string& dir, const QString& pattern, bool wild) {
    std::vector<std::string> found;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) {
        return found;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (IsHidden(name)) {
            continue;
        }
        const QString folded = Folded(name);
        if (wild ? NameMatches(pattern, folded) : folded == pattern) {
            found.push_back(name);
        }
    }
    ::closedir(d);
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        const int c = Folded(a).compare(Folded(b));
        return c != 0 ? c < 0 : a < b;
    });
    return found;
}

} // namespace

std::string DirPart(const std::string& PathName) {
    const std::size_t slash = PathName.rfind('/');
    return slash == std::string::npos ? std::string() : PathName.substr(0, slash + 1);
}

std::vector<std::string> NamesMatching(const std::string& Dir, const std::string& Pattern) {
    return Names(Dir, Folded(Pattern), true);
}

std::vector<std::string> NamesLike(const std::string& Dir, const std::string& Name) {
    return Names(Dir, Folded(Name), false);
}

bool SameName(const std::string& a, const std::string& b) {
    return Folded(a) == Folded(b);
}

int OpenRegular(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    // A regular file never blocks; reads after this are ordinary ones.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string StoredFolder(const std::string& dir) {
    if (dir.size() < 2 || IsA(dir, S_IFDIR)) {
        return dir;
    }
    const std::string path = dir.substr(0, dir.size() - 1);
    const std::string parent = DirPart(path);
    const std::string last = path.substr(parent.size());
    if (last.empty() || last == "." || last == "..") {
        return dir;
    }
    for (const std::string& name : NamesLike(parent, last)) {
        if (IsA(parent + name, S_IFDIR)) {
            return parent + name + "/";
        }
    }
    return dir;
}

std::string FindFile(const std::string& PathName) {
    const std::string last = PathName.substr(DirPart(PathName).size());
    if (last.empty()) {
        return {};
    }
    const bool wild = last.find_first_of("*?") != std::string::npos;
    if (!wild && !IsHidden(last) && IsA(PathName, S_IFREG)) {
        return PathName;
    }
    const std::string dir = StoredFolder(DirPart(PathName));
    for (const std::string& name : Names(dir, Folded(last), wild)) {
        if (IsA(dir + name, S_IFREG)) {
            return dir + name;
        }
    }
    return {};
}

int32_t Exist(const std::string& PathName) {
    const std::string found = FindFile(PathName);
    if (found.empty()) {
        return -1;
    }
    // Checked again on the open file: a FIFO put in the file's place after the lookup must not
    // stop the clock.
    const int fd = OpenRegular(found);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    const int32_t result =
        ::fstat(fd, &st) == 0
            ? static_cast<int32_t>(std::min<off_t>(st.st_size, std::numeric_limits<int32_t>::max()))
            : -1;
    ::close(fd);
    return result;
}
