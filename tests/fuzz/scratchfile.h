#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

// A file of this process's own in the temporary folder ($TMPDIR), for inputs that must come
// from a file; removed when the process ends.
class ScratchFile {
public:
    ScratchFile(const char* name, const char* suffix) {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                              "/" + name + "-XXXXXX" + suffix;
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::string(suffix).size()));
        if (fd >= 0) {
            ::close(fd);
            m_path = pattern;
        }
    }
    ~ScratchFile() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};
