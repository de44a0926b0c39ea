#include "base/fileerror.h"

#include <cerrno>
#include <cstring>

namespace veruziva {

QString FileErrorText(int error, const QString& path) {
    switch (error) {
        case FileError::NotAFile:
            return QStringLiteral(
                       "Not a file: %1 is a pipe or a socket, where a recording could "
                       "wait for ever. Choose a file name.")
                .arg(path);
        case EACCES:
        case EPERM:
        case EROFS:
            return QStringLiteral("File access denied");
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return QStringLiteral("Disk full");
        default:
            return QStringLiteral("I/O error %1: %2 (%3)")
                .arg(error)
                .arg(QString::fromLocal8Bit(std::strerror(error)), path);
    }
}

FileError::FileError(int error, const QString& path)
    : RuntimeError(FileErrorText(error, path).toStdString()), m_error(error) {}

}  // namespace veruziva
