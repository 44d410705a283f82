// SPDX-License-Identifier: GPL-3.0-or-later
#include "mEinzeln.h"

#include "mGetCMD.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
// Whether a folder is ours alone: a directory of our own (not a link to one) that nobody else
// can enter.
bool Eigen(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

// Whether a folder of the shared /tmp is ours alone; made so when it is absent (another start
// may make it first: it is looked at again).
bool EigenerOrdner(const std::string& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        ::mkdir(dir.c_str(), 0700);
    }
    return Eigen(dir);
}

// The lock file's contents, for people and older copies that read them: the process id, the
// program and the host, one a line.
void SchreibeHalter(int fd) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string text = std::to_string(::getpid()) + "\ntikkaru\n" + host + "\n";
    // Written over the last holder's words, and cut only where those were longer: truncating
    // first frees the file's block, which on a journalling file system costs more than
    // everything else a start does before its first sound. A text not written whole leaves
    // no words.
    const auto n = ::pwrite(fd, text.data(), text.size(), 0);
    struct stat st {};
    if (n != static_cast<ssize_t>(text.size())) {
        [[maybe_unused]] const int leer = ::ftruncate(fd, 0);
    } else if (::fstat(fd, &st) == 0 && st.st_size > n) {
        [[maybe_unused]] const int gekuerzt = ::ftruncate(fd, n);
    }
}

// The process id the holder wrote, 0 when there is none (yet).
qint64 GeschriebenerHalter(int fd) {
    char buf[32] = {};
    const auto n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0 || std::memchr(buf, '\n', static_cast<std::size_t>(n)) == nullptr) {
        return 0;
    }
    char* ende = nullptr;
    const long long pid = std::strtoll(buf, &ende, 10);
    return ende != buf && *ende == '\n' && pid > 0 ? pid : 0;
}
} // namespace

std::string LaufzeitOrdner() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != 0) {
        return runtime;
    }
    const std::string dir = "/run/user/" + std::to_string(::getuid());
    return Eigen(dir) ? dir : std::string();
}

SingleInstance::~SingleInstance() {
    Release();
}

bool SingleInstance::OtherRunning() {
    if (geprueft_) {
        return other_;
    }
    geprueft_ = true;
    const std::string runtime = LaufzeitOrdner();
    const bool inTmp = runtime.empty();
    const std::string dir = inTmp ? "/tmp/tikkaru-" + std::to_string(getuid()) : runtime;
    if (inTmp && !EigenerOrdner(dir)) {
        return false; // a folder in /tmp that someone else made or redirected: no lock
    }
    const std::string pfad = dir + "/tikkaru.lock";
    const int fd = ::open(pfad.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    // A holder that ends between our try and our question frees the lock: try again.
    for (int versuch = 0; versuch < 3 && !other_; ++versuch) {
        struct flock sperre {};
        sperre.l_type = F_WRLCK;
        sperre.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &sperre) == 0) {
            fd_ = fd;
            SchreibeHalter(fd_);
            return false;
        }
        if (errno != EAGAIN && errno != EACCES) {
            break; // a file system without record locks: no lock
        }
        if (::fcntl(fd, F_GETLK, &sperre) == 0 && sperre.l_type != F_UNLCK) {
            other_ = true;
            // 0 where the holder lives in another process namespace: its own word then.
            halter_ = sperre.l_pid > 0 ? sperre.l_pid : GeschriebenerHalter(fd);
        }
    }
    ::close(fd);
    return other_;
}

qint64 SingleInstance::Halter() const {
    return other_ ? halter_ : 0;
}

bool SingleInstance::HalterSprichtEinmal() const {
    const qint64 pid = Halter();
    return pid > 0 && SprichtEinmal(pid);
}

bool SprichtEinmal(qint64 pid) {
    std::ifstream datei("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(datei), {}};
    // The arguments, each ended by a NUL.
    std::vector<const char*> argv;
    for (std::size_t i = 0; i < text.size(); ++i) {
        argv.push_back(text.c_str() + i);
        i = text.find('\0', i);
        if (i == std::string::npos) {
            break;
        }
    }
    return LiesAufruf(CommandLineText(static_cast<int>(argv.size()), argv.data())).Einmal;
}

void SingleInstance::Release() {
    if (fd_ >= 0) {
        ::close(fd_); // frees the lock; the file stays, so that no start ever finds two
        fd_ = -1;
    }
}
