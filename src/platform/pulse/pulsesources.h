#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veruziva::pulse {

// One port of a source: a jack or an input of the card ("Line In", "Microphone", ...).
struct SourcePort {
    std::string name;         // the server's identifier, for switching to it
    std::string description;  // what the desktop shows (translated by the server)
};

// What the sound server says of one source, as far as the instrument needs it.
struct SourceInfo {
    std::uint32_t index = 0;
    std::string name;  // stays the same across restarts and replugging
    std::string description;
    bool monitor = false;  // the monitor of an output, not an input
    std::vector<SourcePort> ports;
    std::string activePort;
    std::vector<std::uint32_t> volume;  // per channel, in the server's units (65536 is 100 %)
    bool mute = false;
};

// A source as the instrument offers it: the device and mixer name, and the source it stands for.
struct ListedSource {
    std::string deviceName;  // "<k>: <description>", at most 31 characters
    std::string sourceName;
};

// The names of the source's lines in its mixer: its ports' descriptions, or its own description
// when it has no ports.
std::vector<std::string> LineNames(const SourceInfo& source);

// True when one of the source's lines is a line input (by the start-up's line-in keys).
bool HasLineIn(const SourceInfo& source);

// Sources with a line-in first, other inputs next, monitors of outputs last; the server's
// order within each group. So the first device that matches a mixer is the one a probe goes to.
std::vector<SourceInfo> InstrumentOrder(std::vector<SourceInfo> sources);

// The devices of the ordered sources. The position tag keeps the first five characters of every
// name distinct, as the device and its mixer are paired by them.
std::vector<ListedSource> ListSources(const std::vector<SourceInfo>& ordered);

inline constexpr std::size_t MaxDeviceNameLength = 31;

struct SourceChange;

// What the mixer service needs of the server: the listed sources, one source's present state,
// and changes to it.
class SourceAccess {
public:
    virtual ~SourceAccess();
    virtual const std::vector<ListedSource>& sources() = 0;
    virtual std::optional<SourceInfo> source(const std::string& name) = 0;
    // Carries out the change in its order; false when the server refused a step.
    virtual bool apply(const std::string& name, const SourceChange& change) = 0;
    // Calls `changed` (on any thread) each time a source is added, changed or removed, as long
    // as the returned object lives; nothing when no such events can come.
    virtual std::shared_ptr<void> watchSources(std::function<void()> changed);
};

// The text cut to at most `bytes` bytes without splitting a UTF-8 character.
std::string FitUtf8(std::string text, std::size_t bytes);

}  // namespace veruziva::pulse
