#include "recording/csvwriter.h"

#include "platform/runtimeerror.h"

namespace veruziva {

void CsvWriter::create(const QString& path, char unitA, char unitB) {
    m_file.create(path);
    header(unitA, unitB);
}

void CsvWriter::createOnStandardOutput(char unitA, char unitB) {
    m_file.useStandardOutput();
    header(unitA, unitB);
}

void CsvWriter::header(char unitA, char unitB) {
    line(QStringLiteral("time;A[%1];B[%2]")
             .arg(QString(QLatin1Char(unitA)), QString(QLatin1Char(unitB))));
}

void CsvWriter::row(const QString& time, const QString& a, const QString& b) {
    line(time + QLatin1Char(';') + a + QLatin1Char(';') + b);
}

void CsvWriter::line(const QString& text) {
    const QByteArray bytes = (text + QStringLiteral("\r\n")).toUtf8();
    const std::uint64_t before = m_file.written();
    try {
        m_file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        m_file.sync();
    } catch (const RuntimeError&) {
        // Whole rows only: a row cut off by a full disk could read as a valid value.
        if (m_file.written() != before) {
            try {
                m_file.truncate(before);
            } catch (const RuntimeError&) {
                // Not a file that can be cut back (a device): the first error is reported.
            }
        }
        throw;
    }
}

QString FileDecimalSeparator(const QString& localeSeparator) {
    const bool plain = localeSeparator.size() == 1 && localeSeparator.front().unicode() > 0x20 &&
                       localeSeparator.front().unicode() < 0x7F &&
                       localeSeparator.front() != QLatin1Char(';');
    return plain ? localeSeparator : QStringLiteral(".");
}

QString RowReading(const QString& readoutText) {
    QString text = readoutText.trimmed();
    if (text.endsWith(QLatin1Char('V')) || text.endsWith(QLatin1Char('A'))) {
        text.chop(1);
    }
    return text;
}

}  // namespace veruziva
