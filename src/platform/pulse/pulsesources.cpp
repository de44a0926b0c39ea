#include "platform/pulse/pulsesources.h"

#include <algorithm>

#include "platform/lineinkeys.h"

namespace veruziva::pulse {

SourceAccess::~SourceAccess() = default;

// By value for the overrides, which keep it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::shared_ptr<void> SourceAccess::watchSources(std::function<void()> /*changed*/) {
    return nullptr;
}

std::vector<std::string> LineNames(const SourceInfo& source) {
    std::vector<std::string> names;
    for (const SourcePort& port : source.ports) {
        names.push_back(port.description.empty() ? port.name : port.description);
    }
    if (names.empty()) {
        names.push_back(source.description.empty() ? source.name : source.description);
    }
    return names;
}

bool HasLineIn(const SourceInfo& source) {
    const std::vector<std::string> names = LineNames(source);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) {
        return NameHoldsKey(name, StartupLineInKeys);
    });
}

std::vector<SourceInfo> InstrumentOrder(std::vector<SourceInfo> sources) {
    const auto rank = [](const SourceInfo& source) {
        if (source.monitor) {
            return 2;
        }
        return HasLineIn(source) ? 0 : 1;
    };
    std::stable_sort(sources.begin(), sources.end(),
                     [&](const SourceInfo& a, const SourceInfo& b) { return rank(a) < rank(b); });
    return sources;
}

std::string FitUtf8(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    // Back to the first byte of the character that would be cut (continuation bytes are 10xxxxxx).
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        --end;
    }
    text.resize(end);
    return text;
}

std::vector<ListedSource> ListSources(const std::vector<SourceInfo>& ordered) {
    std::vector<ListedSource> listed;
    for (std::size_t k = 0; k < ordered.size(); ++k) {
        const SourceInfo& source = ordered[k];
        // A description may hold a line break or tab; the names are single lines.
        std::string description = source.description.empty() ? source.name : source.description;
        std::replace_if(
            description.begin(), description.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
        listed.push_back(
            {FitUtf8(std::to_string(k) + ": " + description, MaxDeviceNameLength), source.name});
    }
    return listed;
}

}  // namespace veruziva::pulse
