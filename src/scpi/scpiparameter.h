#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

#include "scpi/scpierror.h"

namespace veruziva {

// One parameter of a command, as typed after its header.
struct ScpiParameter {
    enum class Type {
        Number,      // decimal NR1, NR2 or NR3: 5, -0.25, +1.5E-3, .5, with a suffix: 3A, 3 V
        String,      // '..' or "..", a doubled quote inside standing for one
        Characters,  // character data: MIN, MAXimum, DEF, ON, a name (letters, digits, '_')
        ChannelList  // (@1), (@1,2), (@1:3)
    };
    Type type = Type::Characters;
    double number = 0.0;
    // A string's contents without its quotes; character data as typed; a number as typed.
    QByteArray text;
    // A number's suffix unit as typed (A, MV), empty when none.
    QByteArray suffix;
    // A channel list's channels in the order given, ranges spelled out ((@3:1) is 3, 2, 1).
    QList<int> channels;

    // Character data matching the mnemonic in either form: isCharacters("MAXimum") is true for
    // max, MAX and maximum, not for maxi.
    bool isCharacters(QByteArrayView mnemonic) const;
};

using ScpiParameters = QList<ScpiParameter>;

// A channel list longer than this is refused (-222), so that (@1:2000000000) costs nothing.
inline constexpr int ScpiMaxChannels = 256;

// The parameters after a header's white space, split at the commas outside quotes and
// parentheses. An error leaves `parameters` undefined: -102 for a parameter of none of the types
// (an empty one, an unclosed quote, block or non-decimal data), -222 for a
// number beyond a double or a channel list too long.
std::optional<ScpiError> ParseScpiParameters(QByteArrayView text, ScpiParameters& parameters);

// A mnemonic in SCPI's notation (VOLTage) matched case-insensitively by what was typed: its short
// form (the capitals, VOLT) or its long form (VOLTAGE), nothing in between.
bool ScpiMnemonicMatches(QByteArrayView mnemonic, QByteArrayView typed);

}  // namespace veruziva
