#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <limits>
#include <optional>

namespace veruziva::meter {

// A message saying what went wrong, or nothing when all is well.
using Refusal = std::optional<QString>;

// The arguments as QCommandLineParser reads them, asked by option name.
class CommandLine {
public:
    explicit CommandLine(const QList<QCommandLineOption>& options);

    // False with errorText() when an option is unknown or lacks its value.
    bool parse(const QStringList& arguments);
    QString errorText() const { return m_parser.errorText(); }

    bool isSet(const char* name) const { return m_parser.isSet(QLatin1String(name)); }
    bool anySet(std::initializer_list<const char*> names) const;
    // Empty when the option is not given.
    QString value(const char* name) const { return m_parser.value(QLatin1String(name)); }
    QStringList positionalArguments() const { return m_parser.positionalArguments(); }

private:
    QCommandLineParser m_parser;
};

// The text as a whole number from low to high, or nothing.
std::optional<long long> WholeNumber(const QString& text, long long low,
                                     long long high = std::numeric_limits<long long>::max());

// Whether the text is one of the words.
bool IsOneOf(const QString& text, std::initializer_list<const char*> words);

// "OPTION takes WHAT, not 'GIVEN'".
QString TakesOnly(const char* option, const char* what, const QString& given);

}  // namespace veruziva::meter
