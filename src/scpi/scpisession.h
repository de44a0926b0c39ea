#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>
#include <vector>

#include "scpi/scpicommandtable.h"
#include "scpi/scpistatus.h"

namespace veruziva {

// One client of the instrument: turns its lines into responses, keeping its status (error queue,
// status registers) from line to line. Rules followed (SCPI 1999, IEEE 488.2):
// - A line is one program message; its units are split at each ';' outside quotes and
//   parentheses and run in order. Blank units are skipped.
// - A header after the first unit that does not start with ':' or '*' continues the path of the
//   unit before (its nodes but the last): "MEAS:VOLT?;CURR?" is MEAS:VOLT? then MEAS:CURR?. A
//   leading ':' starts from the root; a common command (*XXX) leaves the path as it was. Each line
//   starts at the root.
// - A control byte (tab and carriage return aside) or a byte beyond ASCII outside quotes is
//   -101, a header of the wrong form -102 (ParseScpiHeader).
// - Headers are looked up in the instrument's table, then in ScpiStatusCommands(). A header found
//   in neither (a query's '?' included: a command matches only a command) is -113 "Undefined
//   header".
// - Parameters follow the header's white space, separated by ',' (see ParseScpiParameters); too
//   few is -109, too many -108.
// - A command error (-1xx) drops the rest of the line; after any other error the next unit runs.
//   Every error goes to the queue and sets its ESR bit (ScpiStatus).
// - The response is the queries' answers joined by ';', ended by '\n'; empty when there is none.
// - -410 "Query INTERRUPTED" and -420 "Query UNTERMINATED" cannot happen: each line's response is
//   written whole before the next line is read (a line waiting for a handler holds the next ones
//   back), and a client reading without asking simply waits.
class ScpiSession {
public:
    // The table outlives the session; several sessions may share it.
    explicit ScpiSession(const ScpiCommandTable& commands) : m_commands(commands) {}

    // Keeps the table alive as long as the session: a table of one client's own.
    explicit ScpiSession(std::shared_ptr<const ScpiCommandTable> commands)
        : m_commands(*commands), m_ownCommands(std::move(commands)) {}

    // Runs one line, given without its terminator (a trailing '\r' is white space). When a
    // handler answers Wait() the line stops there, its answers so far held: waiting() is then
    // true, and the rest of the line runs from resume().
    QByteArray execute(QByteArrayView line);
    // Calls the waiting handler again; when it answers, runs the rest of the line and returns the
    // line's response. Empty (still waiting, or no response) otherwise.
    QByteArray resume();
    bool waiting() const { return m_held.has_value(); }
    // The server dropped a line longer than it takes: -363 "Input buffer overrun".
    void inputOverrun();

    ScpiStatus& status() { return m_status; }

private:
    // A line stopped at a handler that waits: where it stopped and what it had answered.
    struct HeldLine {
        QByteArray line;
        std::size_t unit = 0;
        std::vector<QByteArray> path;
        QByteArray response;
        bool answered = false;
    };

    QByteArray run(QByteArrayView line, HeldLine from);

    const ScpiCommandTable& m_commands;
    std::shared_ptr<const ScpiCommandTable> m_ownCommands;
    ScpiStatus m_status;
    std::optional<HeldLine> m_held;
};

}  // namespace veruziva
