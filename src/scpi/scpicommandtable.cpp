#include "scpi/scpicommandtable.h"

#include <stdexcept>
#include <string>

namespace veruziva {

namespace {

bool IsMnemonic(QByteArrayView text) {
    if (text.isEmpty()) {
        return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '_'))) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void Refuse(QByteArrayView pattern) {
    throw std::invalid_argument("not a SCPI command pattern: " +
                                pattern.toByteArray().toStdString());
}

// Whether the nodes from `typed` on match the pattern's from `node` on, optional ones left out
// or not.
bool Matches(const std::vector<ScpiCommandTable::Command::Node>& pattern, std::size_t node,
             const std::vector<QByteArrayView>& typed, std::size_t next) {
    if (node == pattern.size()) {
        return next == typed.size();
    }
    if (next < typed.size() && ScpiMnemonicMatches(pattern[node].mnemonic, typed[next]) &&
        Matches(pattern, node + 1, typed, next + 1)) {
        return true;
    }
    return pattern[node].optional && Matches(pattern, node + 1, typed, next);
}

}  // namespace

void ScpiCommandTable::add(QByteArrayView pattern, ScpiHandler handler, ScpiArity arity) {
    Command command;
    command.handler = std::move(handler);
    command.arity = arity;
    QByteArrayView rest = pattern;
    if (rest.endsWith('?')) {
        command.query = true;
        rest.chop(1);
    }
    if (rest.startsWith('*')) {
        if (!IsMnemonic(rest.sliced(1))) {
            Refuse(pattern);
        }
        command.nodes.push_back({rest.toByteArray(), false});
    } else {
        // Nodes as NODE, or [NODE:] and [:NODE] when optional, between ':'s.
        qsizetype i = 0;
        while (i < rest.size()) {
            if (rest[i] == ':') {
                ++i;
                continue;
            }
            const bool optional = rest[i] == '[';
            QByteArrayView node;
            if (optional) {
                const qsizetype end = rest.indexOf(']', i);
                if (end < 0) {
                    Refuse(pattern);
                }
                node = rest.sliced(i + 1, end - i - 1);
                node = node.startsWith(':') ? node.sliced(1) : node;
                node = node.endsWith(':') ? node.chopped(1) : node;
                i = end + 1;
            } else {
                qsizetype end = i;
                while (end < rest.size() && rest[end] != ':' && rest[end] != '[') {
                    ++end;
                }
                node = rest.sliced(i, end - i);
                i = end;
            }
            if (!IsMnemonic(node)) {
                Refuse(pattern);
            }
            command.nodes.push_back({node.toByteArray(), optional});
        }
        if (command.nodes.empty()) {
            Refuse(pattern);
        }
    }
    m_commands.push_back(std::move(command));
}

const ScpiCommandTable::Command* ScpiCommandTable::find(const std::vector<QByteArrayView>& nodes,
                                                        bool query) const {
    for (const Command& command : m_commands) {
        if (command.query == query && Matches(command.nodes, 0, nodes, 0)) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace veruziva
