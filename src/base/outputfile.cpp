#include "base/outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>

#include "base/fileerror.h"

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
    // Without O_NONBLOCK, opening a pipe waits for a reader, for ever if none comes; with it,
    // a device that is not ready fails a write instead of holding the program.
    open(path, O_TRUNC | O_NONBLOCK);
}

void OutputFile::createNew(const QString& path) {
    open(path, O_EXCL);
}

void OutputFile::open(const QString& path, int flags) {
    m_path = path;
    m_written = 0;
    const int fd =
        ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
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

namespace {

void WriteInPlace(const QString& path, const void* data, std::size_t size) {
    OutputFile file;
    file.create(path);
    file.write(data, size);
    file.sync();
    file.close();
}

// The file a name stands for: a symbolic link's target, so that the link stays a link.
QByteArray Target(const QByteArray& name) {
    char* resolved = ::realpath(name.constData(), nullptr);
    if (resolved == nullptr) {
        return name;
    }
    QByteArray target(resolved);
    std::free(resolved);
    return target;
}

// Writes the temporary file beside the target, under a name nobody has taken; returns it.
QByteArray WriteTemporary(const QByteArray& target, const void* data, std::size_t size) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
    // Short enough for the longest file name a folder takes.
    const QByteArray base = target.mid(slash + 1).left(200);
    for (int attempt = 0;; ++attempt) {
        QByteArray name = folder + (slash < 0 ? "/." : ".") + base + '.' +
                          QByteArray::number(QRandomGenerator::global()->generate(), 36);
        OutputFile file;
        try {
            file.createNew(QString::fromLocal8Bit(name));
        } catch (const FileError& error) {
            if (error.error() == EEXIST && attempt < 100) {
                continue;
            }
            throw;
        }
        try {
            file.write(data, size);
            file.sync();
            file.close();
        } catch (const FileError&) {
            ::unlink(name.constData());
            throw;
        }
        return name;
    }
}

}  // namespace

void WriteWholeFile(const QString& path, const void* data, std::size_t size) {
    const QByteArray target = Target(path.toLocal8Bit());
    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or the like: there is no file to keep whole.
        WriteInPlace(path, data, size);
        return;
    }
    QByteArray temporary;
    try {
        temporary = WriteTemporary(target, data, size);
    } catch (const FileError& error) {
        throw FileError(error.error(), path);
    }
    // The replaced file's permissions stay; a new one has those its creation gave.
    if ((exists && ::chmod(temporary.constData(), existing.st_mode & 07777) < 0) ||
        ::rename(temporary.constData(), target.constData()) < 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw FileError(error, path);
    }
    // The new name survives a power cut too.
    const qsizetype slash = target.lastIndexOf('/');
    const int folder = ::open(slash < 0 ? "." : target.left(slash + 1).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace veruziva
