#pragma once

#include <QString>

#include "base/outputfile.h"

namespace veruziva {

// A sampled recording: a header line and one row per sampling period, CR LF line ends, each
// row on the disk as soon as it is written.
class CsvWriter {
public:
    void create(const QString& path, char unitA, char unitB);
    // The same on standard output.
    void createOnStandardOutput(char unitA, char unitB);
    void row(const QString& time, const QString& a, const QString& b);
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }

private:
    void header(char unitA, char unitB);
    void line(const QString& text);
    OutputFile m_file;
};

// The decimal separator of the file: the locale's when it is one plain character, else a
// point. The file is single-byte text; some locales separate decimals with a character that
// takes several bytes.
QString FileDecimalSeparator(const QString& localeSeparator);

// A readout text as a row holds it: without the surrounding blanks and the unit letter.
QString RowReading(const QString& readoutText);

}  // namespace veruziva
