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

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

QString Folded(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name)).toCaseFolded();
}

// "*" matches any run of characters, "?" any one; both strings are already case-folded.
bool Matches(const QString& pattern, qsizetype p, const QString& name, qsizetype n) {
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
    if (Matches(pattern, 0, name, 0)) {
        return true;
    }
    // As in the classic directory lookup, a pattern ending in ".*" also matches a name
    // without that extension ("es.*" finds "es", "*.*" finds every name).
    if (pattern.endsWith(u".*") && !name.contains(u'.')) {
        return Matches(pattern.first(pattern.size() - 2), 0, name, 0);
    }
    return false;
}

} // namespace

std::string DirPart(const std::string& PathName) {
    const std::size_t slash = PathName.rfind('/');
    return slash == std::string::npos ? std::string() : PathName.substr(0, slash + 1);
}

std::string DirLookup(const std::string& PathName) {
    const std::string dir = DirPart(PathName);
    const std::string last = PathName.substr(dir.size());
    if (last.empty()) {
        return {};
    }
    const bool wild = last.find_first_of("*?") != std::string::npos;
    if (!wild && !IsHidden(last) && IsRegularFile(PathName)) {
        return last;
    }

    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) {
        return {};
    }
    const QString pattern = Folded(last);
    std::vector<std::string> found;
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

    // In the order of the folded names, as a case-blind file system lists them.
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        const int c = Folded(a).compare(Folded(b));
        return c != 0 ? c < 0 : a < b;
    });
    for (const std::string& name : found) {
        if (IsRegularFile(dir + name)) {
            return name;
        }
    }
    return {};
}

int32_t Exist(const std::string& PathName) {
    const std::string name = DirLookup(PathName);
    if (name.empty()) {
        return -1;
    }
    // Non-blocking, and checked again on the open file: a FIFO put in the file's place after
    // the lookup must not stop the clock.
    const int fd =
        ::open((DirPart(PathName) + name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    int32_t result = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        result =
            static_cast<int32_t>(std::min<off_t>(st.st_size, std::numeric_limits<int32_t>::max()));
    }
    ::close(fd);
    return result;
}
