#include "recording/outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recording/fileerror.h"

namespace veruziva {

OutputFile::~OutputFile() {
    if (m_fd >= 0 && m_ownsFd) {
        ::close(m_fd);
    }
}

void OutputFile::fail(int error) {
    throw FileError(error, m_path);
}

void OutputFile::create(const QString& path) {
    m_path = path;
    m_written = 0;
    // Without O_NONBLOCK, opening a pipe waits for a reader, for ever if none comes; with it,
    // a device that is not ready fails a write instead of holding the program.
    const int fd = ::open(path.toLocal8Bit().constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        if (errno == ENXIO) {
            throw FileError(FileError::NotAFile, path);  // a pipe that nobody reads
        }
        fail(errno);
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
        ::close(fd);
        throw FileError(FileError::NotAFile, path);
    }
    m_fd = fd;
    m_ownsFd = true;
}

void OutputFile::useStandardOutput() {
    m_path = QStringLiteral("-");
    m_written = 0;
    m_fd = STDOUT_FILENO;
    m_ownsFd = false;
}

void OutputFile::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(m_fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        bytes += written;
        m_written += static_cast<std::uint64_t>(written);
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::truncate(std::uint64_t size) {
    if (::ftruncate(m_fd, static_cast<off_t>(size)) < 0) {
        fail(errno);
    }
}

void OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, bytes, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        bytes += written;
        offset += static_cast<std::uint64_t>(written);
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::sync() {
    // Pipes and terminals cannot be synced; that is not a failure.
    if (::fdatasync(m_fd) < 0 && errno != EINVAL && errno != EROFS) {
        fail(errno);
    }
}

void OutputFile::close() {
    if (m_fd < 0) {
        return;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (m_ownsFd && ::close(fd) < 0 && errno != EINTR) {
        fail(errno);
    }
}

void WriteWholeFile(const QString& path, const void* data, std::size_t size) {
    OutputFile file;
    file.create(path);
    file.write(data, size);
    file.sync();
    file.close();
}

}  // namespace veruziva
