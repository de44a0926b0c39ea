#pragma once

#include <QByteArrayView>
#include <optional>
#include <vector>

#include "scpi/scpierror.h"

namespace veruziva {

// One program message unit's header, and the text of its parameters.
struct ScpiHeader {
    bool common = false;    // *IDN?: one node, "*IDN"
    bool absolute = false;  // a leading ':': from the root, not the path of the unit before
    bool query = false;     // ends in '?'
    std::vector<QByteArrayView> nodes;
    QByteArrayView parameters;  // what follows the header's white space
};

// A line's program message units: split at every ';' outside quotes and parentheses.
std::vector<QByteArrayView> SplitScpiMessage(QByteArrayView line);

// The header of one unit. White space is space, tab and carriage return; any other control byte
// or a byte beyond ASCII outside a quoted string is -101 "Invalid character"; a header that is
// not [:]NODE{:NODE}[?] or *NAME[?] (a node: a letter, then letters, digits or '_') is -102
// "Syntax error".
std::optional<ScpiError> ParseScpiHeader(QByteArrayView unit, ScpiHeader& header);

// Whether a unit holds nothing but white space.
bool IsBlankScpiUnit(QByteArrayView unit);

}  // namespace veruziva
