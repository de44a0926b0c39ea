#pragma once

#include <QByteArray>

namespace veruziva {

// SCPI's standard error numbers, the ones this instrument raises. The hundreds give the class and
// the event status bit an error sets: -1xx a command error (the parser's; the rest of the line is
// dropped), -2xx an execution error, -3xx a device error, -4xx a query error. A handler
// may raise any other standard number too: its text is then its class's.
enum class ScpiCode : int {
    NoError = 0,
    CommandError = -100,
    InvalidCharacter = -101,
    SyntaxError = -102,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    SuffixNotAllowed = -138,
    ExecutionError = -200,
    TriggerIgnored = -211,
    InitIgnored = -213,
    TriggerDeadlock = -214,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    DataStale = -230,
    HardwareError = -240,
    DeviceError = -300,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
};

struct ScpiError {
    ScpiCode code = ScpiCode::NoError;
    // Device-dependent information, written after the text and a ';' ("Data out of range;0.1 to
    // 10").
    QByteArray detail;
};

// The standard text of an error number: "Undefined header", "No error".
QByteArray ScpiErrorText(ScpiCode code);

// True for -100 to -199: the parser's errors, after which the rest of the line is dropped.
bool IsCommandError(ScpiCode code);

}  // namespace veruziva
