#pragma once

#include <QString>

#include "platform/runtimeerror.h"

namespace veruziva {

// A file that cannot be created or written: "File access denied", "Disk full" or
// "I/O error <n>" (with what the system says and the file's name, so that the user can act).
class FileError : public RuntimeError {
public:
    // Not a system error: the name is a pipe or a socket, which could make a recording wait.
    static constexpr int NotAFile = -1;

    FileError(int error, const QString& path);
    int error() const { return m_error; }

private:
    int m_error;
};

QString FileErrorText(int error, const QString& path);

}  // namespace veruziva
