#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace veruziva::sim {

// Makes this process's writes past `bytes` into any file fail with EFBIG, as on a full disk
// (the program reads both as "Disk full"), while it lives. SIGXFSZ, which would end the process
// instead, is ignored meanwhile. Call Apply() alone in a child process before it runs a program.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        Apply(bytes);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    static void Apply(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    struct rlimit m_old {};
    sighandler_t m_oldHandler = SIG_DFL;
};

}  // namespace veruziva::sim
