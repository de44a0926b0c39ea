#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <optional>
#include <vector>

#include "scpi/scpierror.h"
#include "scpi/scpiparameter.h"
#include "scpi/scpistatus.h"

namespace veruziva {

// What a handler is given: the parameters typed and the calling client's status.
struct ScpiCall {
    const ScpiParameters& parameters;
    ScpiStatus& status;
    // Called again after it answered Wait(): what it set going the first time is under way.
    bool resumed = false;
};

// What a handler gives back: nothing (a command done), a query's response (NR1, ScpiNumber's NR3,
// a quoted string: as it is to be written), or an error, which goes to the client's queue. A
// query may answer and queue an error both (SCPI's NaN for a reading it could not take).
struct ScpiReply {
    // Not explicit: a handler returns ScpiNumber(x) or ScpiError{...} as it is.
    ScpiReply() = default;
    ScpiReply(QByteArray text) : response(std::move(text)) {}
    ScpiReply(ScpiError failure) : error(std::move(failure)) {}

    // Not answerable yet (a reading of a block still to come): the session holds the rest of
    // the line and calls the handler again, `resumed` set, when told to resume.
    static ScpiReply Wait() {
        ScpiReply reply;
        reply.waiting = true;
        return reply;
    }

    std::optional<QByteArray> response;
    std::optional<ScpiError> error;
    bool waiting = false;
};

using ScpiHandler = std::function<ScpiReply(const ScpiCall&)>;

// How many parameters a command takes; fewer is -109 "Missing parameter", more -108 "Parameter
// not allowed", a number with a suffix unit where none is taken -138 "Suffix not allowed", and
// its handler is not called.
struct ScpiArity {
    int least = 0;
    int most = 0;
    bool suffixes = false;
};

// The instrument's commands and queries, each a pattern in SCPI's notation and a handler:
//   "MEASure:VOLTage[:DC]?"  a query (the '?' ends it): it matches only queries, a pattern
//                            without '?' only commands
//   "[SENSe:]RANGe"          a node in [ ] may be left out (one node in each pair)
//   "*IDN?"                  a common command: matched whole, case aside
// Each node is typed in its short form (its capitals, MEAS) or its long form (MEASURE), in any
// case, nothing in between (MEASU does not match). Numeric suffixes are not supported. The first
// pattern registered that matches wins.
class ScpiCommandTable {
public:
    struct Command {
        struct Node {
            QByteArray mnemonic;  // as registered: VOLTage
            bool optional = false;
        };
        std::vector<Node> nodes;
        bool query = false;
        ScpiArity arity;
        ScpiHandler handler;
    };

    // Throws std::invalid_argument for a pattern that is not one.
    void add(QByteArrayView pattern, ScpiHandler handler, ScpiArity arity = {});
    // The command for a header's nodes from the root (a common command: its one node, "*IDN"), or
    // nullptr.
    const Command* find(const std::vector<QByteArrayView>& nodes, bool query) const;

private:
    std::vector<Command> m_commands;
};

}  // namespace veruziva
