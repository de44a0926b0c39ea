#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace veruziva {

// A file written with plain system calls; every failure throws FileError.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file, emptying an existing one of that name. A pipe, a socket or anything
    // else that could make a write wait for a reader is refused: the program must never hang.
    void create(const QString& path);
    // Creates a file under a name nobody has taken; fails with EEXIST otherwise.
    void createNew(const QString& path);
    // Writes to the process's standard output instead (the meter tool's "-").
    void useStandardOutput();
    void write(const void* data, std::size_t size);
    void writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // Bytes that write() has put into the file so far, a failed call's part included.
    std::uint64_t written() const { return m_written; }
    void truncate(std::uint64_t size);
    // Makes what was written survive a crash or a power cut.
    void sync();
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }

private:
    [[noreturn]] void fail(int error);
    void open(const QString& path, int flags);

    int m_fd = -1;
    bool m_ownsFd = true;
    QString m_path;
    std::uint64_t m_written = 0;
};

// Writes a whole file (a picture, an export) with checked system calls and makes it survive a
// crash. It is written under a temporary name in the file's folder and renamed to its name once
// complete, so a failure (a full disk) leaves no part of it and an existing file of that name as
// it was; a symbolic link is followed, a device (/dev/null) written in place. Throws FileError
// naming `path`.
void WriteWholeFile(const QString& path, const void* data, std::size_t size);

}  // namespace veruziva
