#include "commandline.h"

#include <algorithm>

namespace veruziva::meter {

CommandLine::CommandLine(const QList<QCommandLineOption>& options) {
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOptions(options);
}

bool CommandLine::parse(const QStringList& arguments) {
    // QCommandLineParser expects the program name first.
    return m_parser.parse(QStringList{QStringLiteral("veruziva-meter")} + arguments);
}

bool CommandLine::anySet(std::initializer_list<const char*> names) const {
    return std::any_of(names.begin(), names.end(),
                       [this](const char* name) { return isSet(name); });
}

std::optional<long long> WholeNumber(const QString& text, long long low, long long high) {
    bool ok = false;
    const long long number = text.toLongLong(&ok);
    if (!ok || number < low || number > high) {
        return std::nullopt;
    }
    return number;
}

bool IsOneOf(const QString& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&text](const char* word) { return text == QLatin1String(word); });
}

QString TakesOnly(const char* option, const char* what, const QString& given) {
    return QStringLiteral("%1 takes %2, not '%3'")
        .arg(QLatin1String(option), QLatin1String(what), given);
}

}  // namespace veruziva::meter
