#include "scpi/scpisession.h"

#include <algorithm>

#include "scpi/scpiparser.h"
#include "scpi/scpistatuscommands.h"

namespace veruziva {
namespace {

std::vector<QByteArray> HeldPath(const std::vector<QByteArrayView>& path) {
    std::vector<QByteArray> held;
    held.reserve(path.size());
    for (const QByteArrayView node : path) {
        held.push_back(node.toByteArray());
    }
    return held;
}

}  // namespace

QByteArray ScpiSession::execute(QByteArrayView line) {
    m_held.reset();
    return run(line, {});
}

QByteArray ScpiSession::resume() {
    if (!m_held) {
        return {};
    }
    HeldLine held = std::move(*m_held);
    m_held.reset();
    const QByteArray line = held.line;
    return run(line, std::move(held));
}

QByteArray ScpiSession::run(QByteArrayView line, HeldLine from) {
    QByteArray response = std::move(from.response);
    bool answered = from.answered;
    const bool resuming = !from.line.isNull();
    // The nodes the next relative header continues from.
    std::vector<QByteArrayView> path(from.path.begin(), from.path.end());
    const std::vector<QByteArrayView> units = SplitScpiMessage(line);
    for (std::size_t index = from.unit; index < units.size(); ++index) {
        const QByteArrayView unit = units[index];
        if (IsBlankScpiUnit(unit)) {
            continue;
        }
        const std::vector<QByteArrayView> pathBefore = path;
        ScpiHeader header;
        if (auto error = ParseScpiHeader(unit, header)) {
            m_status.raise(*error);
            break;
        }
        std::vector<QByteArrayView> nodes;
        if (!header.common && !header.absolute) {
            nodes = path;
        }
        nodes.insert(nodes.end(), header.nodes.begin(), header.nodes.end());
        const ScpiCommandTable::Command* command = m_commands.find(nodes, header.query);
        if (command == nullptr) {
            command = ScpiStatusCommands().find(nodes, header.query);
        }
        if (command == nullptr) {
            m_status.raise({ScpiCode::UndefinedHeader, {}});
            break;
        }
        if (!header.common) {
            nodes.pop_back();
            path = std::move(nodes);
        }
        ScpiParameters parameters;
        std::optional<ScpiError> error = ParseScpiParameters(header.parameters, parameters);
        if (!error && parameters.size() < command->arity.least) {
            error = ScpiError{ScpiCode::MissingParameter, {}};
        } else if (!error && parameters.size() > command->arity.most) {
            error = ScpiError{ScpiCode::ParameterNotAllowed, {}};
        } else if (!error && !command->arity.suffixes &&
                   std::any_of(parameters.begin(), parameters.end(),
                               [](const ScpiParameter& p) { return !p.suffix.isEmpty(); })) {
            error = ScpiError{ScpiCode::SuffixNotAllowed, {}};
        }
        ScpiReply reply;
        if (!error) {
            reply =
                command->handler(ScpiCall{parameters, m_status, resuming && index == from.unit});
            error = reply.error;
        }
        if (!error && reply.waiting) {
            // Held from this unit: the line's own bytes, since `line` is only a view.
            m_held = HeldLine{resuming ? from.line : line.toByteArray(), index,
                              HeldPath(pathBefore), std::move(response), answered};
            return {};
        }
        if (error) {
            m_status.raise(*error);
            if (IsCommandError(error->code)) {
                break;
            }
        }
        if (header.query && reply.response) {
            if (answered) {
                response += ';';
            }
            response += *reply.response;
            answered = true;
        }
    }
    if (answered) {
        response += '\n';
    }
    return response;
}

void ScpiSession::inputOverrun() {
    m_status.raise({ScpiCode::InputBufferOverrun, {}});
}

}  // namespace veruziva
