// Stand-in for the spreadsheet program: appends the wall-clock time of its own
// start (nanoseconds since the epoch) and its arguments as one line to the file
// named by MORVANE_BENCH_STAMPS, then ends. The clock is read first, before
// anything else, so the line marks the moment the application came up.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const char* stamps = std::getenv("MORVANE_BENCH_STAMPS");
    if (stamps == nullptr) {
        return 2;
    }
    std::string line = std::to_string(static_cast<long long>(now.tv_sec) * 1000000000LL +
                                      static_cast<long long>(now.tv_nsec));
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    line += '\n';
    const int fd = ::open(stamps, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return 1;
    }
    // One write with O_APPEND: the line lands whole even beside other writers.
    const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
    return written == static_cast<ssize_t>(line.size()) ? 0 : 1;
}
