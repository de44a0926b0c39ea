#include "scpi/scpiparameter.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <system_error>

namespace veruziva {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

QByteArrayView Trimmed(QByteArrayView text) {
    while (!text.isEmpty() && IsWhite(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && IsWhite(text.back())) {
        text.chop(1);
    }
    return text;
}

const ScpiError Syntax{ScpiCode::SyntaxError, {}};
const ScpiError OutOfRange{ScpiCode::DataOutOfRange, {}};

std::optional<ScpiError> ParseString(QByteArrayView item, ScpiParameter& parameter) {
    const char quote = item.front();
    parameter.type = ScpiParameter::Type::String;
    for (qsizetype i = 1; i < item.size(); ++i) {
        if (item[i] != quote) {
            parameter.text += item[i];
        } else if (i + 1 < item.size() && item[i + 1] == quote) {
            parameter.text += quote;
            ++i;
        } else if (i + 1 == item.size()) {
            return std::nullopt;
        } else {
            return Syntax;  // something after the closing quote
        }
    }
    return Syntax;  // never closed
}

// Digits alone, as a channel number.
std::optional<int> ChannelNumber(QByteArrayView text) {
    text = Trimmed(text);
    int value = 0;
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !IsDigit(text.front())) {
        return std::nullopt;
    }
    return value;
}

std::optional<ScpiError> ParseChannelList(QByteArrayView item, ScpiParameter& parameter) {
    if (!item.startsWith("(@") || !item.endsWith(")")) {
        return Syntax;
    }
    parameter.type = ScpiParameter::Type::ChannelList;
    const QByteArrayView inside = item.sliced(2, item.size() - 3);
    for (const QByteArrayView entry : QByteArray(inside.data(), inside.size()).split(',')) {
        const qsizetype colon = entry.indexOf(':');
        const auto first = ChannelNumber(colon < 0 ? entry : entry.first(colon));
        const auto last = colon < 0 ? first : ChannelNumber(entry.sliced(colon + 1));
        if (!first || !last) {
            return Syntax;
        }
        if (std::abs(*last - *first) >= ScpiMaxChannels) {
            return OutOfRange;
        }
        const int step = *last >= *first ? 1 : -1;
        for (int channel = *first;; channel += step) {
            if (parameter.channels.size() == ScpiMaxChannels) {
                return OutOfRange;
            }
            parameter.channels.append(channel);
            if (channel == *last) {
                break;
            }
        }
    }
    return std::nullopt;
}

// Whether the text is a decimal number: [+-] digits [. digits] | [+-] . digits, then
// [E [+-] digits].
bool IsDecimalNumber(QByteArrayView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    qsizetype mantissaDigits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        qsizetype exponentDigits = 0;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    return i == n;
}

std::optional<ScpiError> ParseNumber(QByteArrayView item, ScpiParameter& parameter) {
    // A suffix unit: the letters at the end, white space allowed before them. Right after the
    // digits an E starts an exponent, not a unit: 1E is no number.
    qsizetype letters = item.size();
    while (letters > 0 && IsLetter(item[letters - 1])) {
        --letters;
    }
    if (letters < item.size()) {
        const QByteArrayView suffix = item.sliced(letters);
        item = Trimmed(item.first(letters));
        if (item.size() == letters && (suffix.front() == 'E' || suffix.front() == 'e')) {
            return Syntax;
        }
        parameter.suffix = suffix.toByteArray();
    }
    if (!IsDecimalNumber(item)) {
        return Syntax;
    }
    parameter.type = ScpiParameter::Type::Number;
    parameter.text = item.toByteArray();
    // from_chars takes no '+'; it is locale-free, unlike strtod.
    const QByteArrayView digits = item.front() == '+' ? item.sliced(1) : item;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), parameter.number);
    if (error == std::errc::result_out_of_range) {
        // Too small for a double reads as zero; too large is out of range.
        const qsizetype e = std::max(item.indexOf('E'), item.indexOf('e'));
        if (e < 0 || item[e + 1] != '-') {
            return OutOfRange;
        }
        parameter.number = item.front() == '-' ? -0.0 : 0.0;
    } else if (error != std::errc() || end != digits.data() + digits.size()) {
        return Syntax;
    }
    return std::nullopt;
}

std::optional<ScpiError> ParseCharacters(QByteArrayView item, ScpiParameter& parameter) {
    for (const char c : item) {
        if (!IsLetter(c) && !IsDigit(c) && c != '_') {
            return Syntax;
        }
    }
    parameter.type = ScpiParameter::Type::Characters;
    parameter.text = item.toByteArray();
    return std::nullopt;
}

std::optional<ScpiError> ParseOne(QByteArrayView item, ScpiParameter& parameter) {
    if (item.isEmpty()) {
        return Syntax;
    }
    const char first = item.front();
    if (first == '\'' || first == '"') {
        return ParseString(item, parameter);
    }
    if (first == '(') {
        return ParseChannelList(item, parameter);
    }
    if (IsLetter(first)) {
        return ParseCharacters(item, parameter);
    }
    return ParseNumber(item, parameter);
}

}  // namespace

bool ScpiParameter::isCharacters(QByteArrayView mnemonic) const {
    return type == Type::Characters && ScpiMnemonicMatches(mnemonic, text);
}

std::optional<ScpiError> ParseScpiParameters(QByteArrayView text, ScpiParameters& parameters) {
    parameters.clear();
    text = Trimmed(text);
    if (text.isEmpty()) {
        return std::nullopt;
    }
    // Commas inside quotes or a channel list's parentheses do not split.
    char quote = 0;
    int depth = 0;
    qsizetype start = 0;
    const auto take = [&](qsizetype end) -> std::optional<ScpiError> {
        ScpiParameter parameter;
        if (auto error = ParseOne(Trimmed(text.sliced(start, end - start)), parameter)) {
            return error;
        }
        parameters.append(std::move(parameter));
        start = end + 1;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;  // a doubled quote closes and opens again
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            if (auto error = take(i)) {
                return error;
            }
        }
    }
    return take(text.size());
}

bool ScpiMnemonicMatches(QByteArrayView mnemonic, QByteArrayView typed) {
    qsizetype shortLength = 0;
    while (shortLength < mnemonic.size() &&
           !(mnemonic[shortLength] >= 'a' && mnemonic[shortLength] <= 'z')) {
        ++shortLength;
    }
    if (typed.size() != shortLength && typed.size() != mnemonic.size()) {
        return false;
    }
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (Upper(typed[i]) != Upper(mnemonic[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace veruziva
