// Any bytes a client may send the SCPI instrument: split into lines as the server does, each run
// in one session against commands of every kind of parameter.
#include <QByteArray>
#include <QByteArrayList>
#include <cstddef>
#include <cstdint>

#include "scpi/scpicommandtable.h"
#include "scpi/scpinumber.h"
#include "scpi/scpisession.h"

using namespace veruziva;

namespace {

const ScpiCommandTable& Commands() {
    static const ScpiCommandTable table = [] {
        ScpiCommandTable commands;
        commands.add("MEASure:VOLTage[:DC]?", [](const ScpiCall&) { return ScpiNumber(1.5); });
        commands.add("[SENSe:]RANGe", [](const ScpiCall&) { return ScpiReply(); }, {1, 1});
        // Every parameter written back, the channels of a list one by one.
        commands.add("[DIAGnostic:]ECHO?",
                     [](const ScpiCall& call) {
                         QByteArrayList texts;
                         for (const ScpiParameter& parameter : call.parameters) {
                             texts.append(ScpiNumber(parameter.number) + parameter.text);
                             for (const int channel : parameter.channels) {
                                 texts.append(QByteArray::number(channel));
                             }
                         }
                         return ScpiReply(texts.join(','));
                     },
                     {0, 8});
        return commands;
    }();
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ScpiSession session(Commands());
    for (const QByteArray& line : input.split('\n')) {
        const QByteArray response = session.execute(line);
        // Nothing, or one line: the answers end with the only newline.
        if (!response.isEmpty() && response.indexOf('\n') != response.size() - 1) {
            __builtin_trap();
        }
        if (session.status().errorCount() > ScpiStatus::QueueSize) {
            __builtin_trap();
        }
    }
    return 0;
}
