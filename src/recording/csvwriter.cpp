#include "recording/csvwriter.h"

namespace veruziva {

void CsvWriter::create(const QString& path, char unitA, char unitB) {
    m_file.create(path);
    line(QStringLiteral("time;A[%1];B[%2]")
             .arg(QString(QLatin1Char(unitA)), QString(QLatin1Char(unitB))));
}

void CsvWriter::row(const QString& time, const QString& a, const QString& b) {
    line(time + QLatin1Char(';') + a + QLatin1Char(';') + b);
}

void CsvWriter::line(const QString& text) {
    const QByteArray bytes = (text + QStringLiteral("\r\n")).toUtf8();
    m_file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    m_file.sync();
}

QString RowReading(const QString& readoutText) {
    QString text = readoutText.trimmed();
    if (text.endsWith(QLatin1Char('V')) || text.endsWith(QLatin1Char('A'))) {
        text.chop(1);
    }
    return text;
}

}  // namespace veruziva
