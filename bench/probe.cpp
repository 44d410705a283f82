// SPDX-License-Identifier: GPL-3.0-or-later
// The file probe in a voice folder that holds many other files: one Exist() of a file under
// its exact name, under another letter case (which reads the whole folder) and of a missing
// file. Prints one line per case: name, calls, median, 95th percentile and maximum in
// microseconds. Usage: probe [FILES] [CALLS]; run through bench/run.

#include "mExist.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Report(const char* name, const std::string& path, int calls, int32_t expected) {
    std::vector<double> us;
    for (int i = 0; i < calls; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const int32_t r = Exist(path);
        const auto t1 = std::chrono::steady_clock::now();
        if (r != expected) {
            std::fprintf(stderr, "probe: Exist(%s) = %d, expected %d\n", path.c_str(), r, expected);
            std::exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) {
        return us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))];
    };
    std::printf("%s %d %.2f %.2f %.2f\n", name, calls, at(0.5), at(0.95), us.back());
}

} // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int calls = argc > 2 ? std::atoi(argv[2]) : 2000;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return 1;
    }
    const std::string folder = dir.path().toStdString() + "/DATA/";
    ::mkdir(folder.c_str(), 0755);
    char name[64];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "aufnahme-%06d.wav", i);
        const int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror("probe: open");
            return 1;
        }
        ::close(fd);
    }
    const int fd = ::open((folder + "es.wav").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const char body[100] = {};
    if (fd < 0 || ::write(fd, body, sizeof body) != sizeof body) {
        return 1;
    }
    ::close(fd);
    std::printf("files %d\n", files + 1);
    Report("exact", folder + "es.wav", calls, 100);
    Report("other_case", folder + "Es.wav", std::max(5, calls / 100), 100);
    Report("missing", folder + "uhr.wav", std::max(5, calls / 100), -1);
    return 0;
}
