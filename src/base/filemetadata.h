#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace veruziva {

// What a file was measured with, as ordered key/value pairs: a CSV file's leading comment
// lines, a PNG file's text chunks.
using FileMetadata = std::vector<std::pair<QString, QString>>;

// The program's version, "0.1.0": the project's in the build, one for every program and file.
QString ProgramVersion();

// One "# key: value" line per pair, in UTF-8. Readers that skip '#' lines (pandas'
// comment='#') read the table after them as before; a line break within a pair is made a space,
// so that no pair can end its comment line early.
QByteArray MetadataCommentLines(const FileMetadata& metadata);

}  // namespace veruziva
