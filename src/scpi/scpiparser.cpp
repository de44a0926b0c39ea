#include "scpi/scpiparser.h"

namespace veruziva {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNode(QByteArrayView node) {
    if (node.isEmpty() || !IsLetter(node.front())) {
        return false;
    }
    for (const char c : node) {
        if (!IsLetter(c) && !(c >= '0' && c <= '9') && c != '_') {
            return false;
        }
    }
    return true;
}

bool HasInvalidCharacter(QByteArrayView unit) {
    char quote = 0;
    for (const char c : unit) {
        const auto byte = static_cast<unsigned char>(c);
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if ((byte < 0x20 && !IsWhite(c)) || byte >= 0x7F) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<QByteArrayView> SplitScpiMessage(QByteArrayView line) {
    std::vector<QByteArrayView> units;
    char quote = 0;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (c == ';' && depth == 0) {
            units.push_back(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    units.push_back(line.sliced(start));
    return units;
}

bool IsBlankScpiUnit(QByteArrayView unit) {
    for (const char c : unit) {
        if (!IsWhite(c)) {
            return false;
        }
    }
    return true;
}

std::optional<ScpiError> ParseScpiHeader(QByteArrayView unit, ScpiHeader& header) {
    header = {};
    if (HasInvalidCharacter(unit)) {
        return ScpiError{ScpiCode::InvalidCharacter, {}};
    }
    qsizetype start = 0;
    while (start < unit.size() && IsWhite(unit[start])) {
        ++start;
    }
    qsizetype end = start;
    while (end < unit.size() && !IsWhite(unit[end])) {
        ++end;
    }
    QByteArrayView text = unit.sliced(start, end - start);
    header.parameters = unit.sliced(end);
    const ScpiError syntax{ScpiCode::SyntaxError, {}};
    if (text.endsWith('?')) {
        header.query = true;
        text.chop(1);
    }
    if (text.startsWith('*')) {
        header.common = true;
        for (const char c : text.sliced(1)) {
            if (!IsLetter(c)) {
                return syntax;
            }
        }
        if (text.size() == 1) {
            return syntax;
        }
        header.nodes.push_back(text);
        return std::nullopt;
    }
    if (text.startsWith(':')) {
        header.absolute = true;
        text = text.sliced(1);
    }
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ':') {
            continue;
        }
        const QByteArrayView node = text.sliced(from, i - from);
        if (!IsNode(node)) {
            return syntax;
        }
        header.nodes.push_back(node);
        from = i + 1;
    }
    return std::nullopt;
}

}  // namespace veruziva
