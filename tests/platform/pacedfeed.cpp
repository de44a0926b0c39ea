// Writes a test signal in real time into a file or pipe: 16-bit stereo at 44100 frames per
// second, channel A a 441 Hz sine, channel B a DC level, kept 50 ms ahead of the clock.
//   veruziva-pacedfeed PATH [SECONDS]   (SECONDS 0 or absent: until the reader goes away)
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH [SECONDS]\n", argv[0]);
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.0;
    const int fd = ::open(argv[1], O_WRONLY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    unsigned long long written = 0;
    std::vector<short> chunk;
    while (true) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (seconds > 0 && elapsed > seconds) {
            break;
        }
        const auto due = static_cast<unsigned long long>(elapsed * 44100) + 2205;
        chunk.clear();
        for (unsigned long long frame = written; frame < due; ++frame) {
            chunk.push_back(static_cast<short>(std::lround(
                8000 * std::sin(2 * M_PI * 441.0 * static_cast<double>(frame) / 44100.0))));
            chunk.push_back(1500);
        }
        const auto bytes = static_cast<ssize_t>(chunk.size() * sizeof(short));
        if (::write(fd, chunk.data(), static_cast<std::size_t>(bytes)) != bytes) {
            break;
        }
        written = due;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
    return 0;
}
