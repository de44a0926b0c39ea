// Any file given to the meter tool: read, measured block by block and printed. The first byte
// chooses the channels measured as DC.
#include <unistd.h>

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "metertool.h"
#include "scratchfile.h"

namespace {

const std::string& InputPath() {
    static const ScratchFile file("veruziva-fuzz-input", "");
    return file.path();
}

std::FILE* Discard() {
    static std::FILE* const sink = std::fopen("/dev/null", "w");
    return sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    QStringList arguments;
    static const char* const dc[] = {nullptr, "a", "b", "ab"};
    if (const char* channels = dc[data[0] % 4]) {
        arguments << QStringLiteral("--dc") << QString::fromLatin1(channels);
    }
    arguments << QString::fromStdString(InputPath());
    const int status = veruziva::meter::RunMeterTool(arguments, Discard(), Discard());
    if (status != veruziva::meter::ExitSuccess && status != veruziva::meter::ExitBadInput) {
        __builtin_trap();  // a bad file is bad input, nothing else
    }
    return 0;
}
