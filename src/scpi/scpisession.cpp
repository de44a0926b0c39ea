#include "scpi/scpisession.h"

#include "scpi/scpiparser.h"
#include "scpi/scpistatuscommands.h"

namespace veruziva {

QByteArray ScpiSession::execute(QByteArrayView line) {
    QByteArray response;
    bool answered = false;
    // The nodes the next relative header continues from.
    std::vector<QByteArrayView> path;
    for (const QByteArrayView unit : SplitScpiMessage(line)) {
        if (IsBlankScpiUnit(unit)) {
            continue;
        }
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
        }
        ScpiReply reply;
        if (!error) {
            reply = command->handler(ScpiCall{parameters, m_status});
            error = reply.error;
        }
        if (error) {
            m_status.raise(*error);
            if (IsCommandError(error->code)) {
                break;
            }
            continue;
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
