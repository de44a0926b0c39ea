#include "scpi/scpistatuscommands.h"

#include <cmath>

namespace veruziva {

namespace {

ScpiReply Whole(int value) {
    return QByteArray::number(value);
}

// A register's value from a command's one parameter, then set.
ScpiHandler SetRegister(void (ScpiStatus::*set)(int)) {
    return [set](const ScpiCall& call) -> ScpiReply {
        const ScpiParameter& parameter = call.parameters.front();
        if (parameter.type != ScpiParameter::Type::Number) {
            return ScpiError{ScpiCode::DataTypeError, {}};
        }
        const double value = std::round(parameter.number);
        if (!(value >= 0 && value <= 255)) {
            return ScpiError{ScpiCode::DataOutOfRange, {}};
        }
        (call.status.*set)(static_cast<int>(value));
        return {};
    };
}

ScpiCommandTable Make() {
    ScpiCommandTable table;
    table.add("*CLS", [](const ScpiCall& call) {
        call.status.clear();
        return ScpiReply();
    });
    table.add("*ESE", SetRegister(&ScpiStatus::setEventEnable), {1, 1});
    table.add("*ESE?", [](const ScpiCall& call) { return Whole(call.status.eventEnable()); });
    table.add("*ESR?", [](const ScpiCall& call) { return Whole(call.status.takeEvents()); });
    table.add("*SRE", SetRegister(&ScpiStatus::setServiceRequestEnable), {1, 1});
    table.add("*SRE?",
              [](const ScpiCall& call) { return Whole(call.status.serviceRequestEnable()); });
    table.add("*STB?", [](const ScpiCall& call) { return Whole(call.status.statusByte()); });
    table.add("*OPC", [](const ScpiCall& call) {
        call.status.setEvents(ScpiStatus::OperationComplete);
        return ScpiReply();
    });
    table.add("*OPC?", [](const ScpiCall&) { return Whole(1); });
    table.add("*WAI", [](const ScpiCall&) { return ScpiReply(); });
    table.add("SYSTem:ERRor[:NEXT]?",
              [](const ScpiCall& call) { return ScpiReply(call.status.nextError()); });
    table.add("SYSTem:ERRor:COUNt?",
              [](const ScpiCall& call) { return Whole(call.status.errorCount()); });
    table.add("SYSTem:VERSion?", [](const ScpiCall&) { return ScpiReply("1999.0"); });
    return table;
}

}  // namespace

const ScpiCommandTable& ScpiStatusCommands() {
    static const ScpiCommandTable table = Make();
    return table;
}

}  // namespace veruziva
