#include "scpi/scpierror.h"

namespace veruziva {

QByteArray ScpiErrorText(ScpiCode code) {
    switch (code) {
        case ScpiCode::NoError:
            return "No error";
        case ScpiCode::CommandError:
            return "Command error";
        case ScpiCode::InvalidCharacter:
            return "Invalid character";
        case ScpiCode::SyntaxError:
            return "Syntax error";
        case ScpiCode::DataTypeError:
            return "Data type error";
        case ScpiCode::ParameterNotAllowed:
            return "Parameter not allowed";
        case ScpiCode::MissingParameter:
            return "Missing parameter";
        case ScpiCode::UndefinedHeader:
            return "Undefined header";
        case ScpiCode::SuffixNotAllowed:
            return "Suffix not allowed";
        case ScpiCode::ExecutionError:
            return "Execution error";
        case ScpiCode::TriggerIgnored:
            return "Trigger ignored";
        case ScpiCode::InitIgnored:
            return "Init ignored";
        case ScpiCode::TriggerDeadlock:
            return "Trigger deadlock";
        case ScpiCode::SettingsConflict:
            return "Settings conflict";
        case ScpiCode::DataOutOfRange:
            return "Data out of range";
        case ScpiCode::DataStale:
            return "Data corrupt or stale";
        case ScpiCode::HardwareError:
            return "Hardware error";
        case ScpiCode::DeviceError:
            return "Device-specific error";
        case ScpiCode::QueueOverflow:
            return "Queue overflow";
        case ScpiCode::InputBufferOverrun:
            return "Input buffer overrun";
    }
    const int number = static_cast<int>(code);
    if (number <= -100 && number > -200) {
        return "Command error";
    }
    if (number <= -200 && number > -300) {
        return "Execution error";
    }
    if (number <= -400 && number > -500) {
        return "Query error";
    }
    // -3xx, and numbers of the instrument's own (positive ones): SCPI's text for -300.
    return "Device-specific error";
}

bool IsCommandError(ScpiCode code) {
    const int number = static_cast<int>(code);
    return number <= -100 && number > -200;
}

}  // namespace veruziva
