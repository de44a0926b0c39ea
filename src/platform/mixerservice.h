#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veruziva {

// Result codes of the mixer service: 0 is success.
namespace mixer {
inline constexpr int NoError = 0;
inline constexpr int Error = 1;
inline constexpr int BadDeviceId = 2;
inline constexpr int InvalidHandle = 5;
inline constexpr int NoMemory = 7;
inline constexpr int InvalidParameter = 11;
inline constexpr int InvalidLine = 1024;
inline constexpr int InvalidControl = 1025;
inline constexpr int InvalidValue = 1026;

// Control types and flags.
inline constexpr std::uint32_t VolumeControl = 0x50030001;
inline constexpr std::uint32_t MuteControl = 0x20010002;
inline constexpr std::uint32_t MixerControl = 0x71010001;  // multiple select
inline constexpr std::uint32_t MuxControl = 0x70010001;    // single select
inline constexpr std::uint32_t ClassMask = 0xF0000000;
inline constexpr std::uint32_t ListClass = 0x70000000;
inline constexpr std::uint32_t UniformFlag = 0x1;
inline constexpr std::uint32_t MultipleFlag = 0x2;
inline constexpr std::uint32_t DisabledFlag = 0x80000000;

// Line ids, the same on every service: the component finds a selector's entry by them.
constexpr std::uint32_t DestinationLineId(std::uint32_t destination) {
    return 0xFFFF0000U + destination;
}
constexpr std::uint32_t SourceLineId(std::uint32_t destination, std::uint32_t source) {
    return (source << 16U) | destination;
}
}  // namespace mixer

struct MixerCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    std::string productName;  // at most 31 characters
    std::uint32_t destinations = 0;
};

struct MixerLine {
    std::uint32_t destination = 0;
    std::uint32_t source = 0;
    std::uint32_t lineId = 0;
    std::uint32_t channels = 0;
    std::uint32_t connections = 0;  // source lines of a destination
    std::uint32_t controls = 0;
    std::string shortName;  // at most 15 characters
    std::string name;       // at most 63 characters
};

struct MixerControlInfo {
    std::uint32_t controlId = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::uint32_t items = 0;  // list entries of a multiple-item control
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::string shortName;
    std::string name;
};

// One entry of a selector's list: the line it stands for and its name.
struct MixerListText {
    std::uint32_t lineId = 0;
    std::string name;
};

using MixerHandle = std::uint32_t;

// Where a mixer opened with change messages reports them: a line's state, or a control's value,
// changed (by this program or any other). The service calls it on the thread that opened the
// mixer, from that thread's event loop, never from inside one of its own calls.
class MixerChangeSink {
public:
    virtual ~MixerChangeSink();
    virtual void lineChanged(MixerHandle handle, std::uint32_t lineId) = 0;
    virtual void controlChanged(MixerHandle handle, std::uint32_t controlId) = 0;
};

// The platform's audio mixer service. Values of a control are read and written as channels x
// items 32-bit values (items 0 counts as 1).
class MixerService {
public:
    virtual ~MixerService();

    virtual unsigned deviceCount() = 0;
    virtual int caps(unsigned device, MixerCaps& caps) = 0;
    // Opens a mixer; with a sink, its change messages go there until it is closed.
    virtual int open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) = 0;
    virtual int close(MixerHandle handle) = 0;
    virtual int lineByDestination(MixerHandle handle, std::uint32_t destination,
                                  MixerLine& line) = 0;
    virtual int lineBySource(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                             MixerLine& line) = 0;
    // All controls of a line, in order.
    virtual int lineControls(MixerHandle handle, std::uint32_t lineId,
                             std::vector<MixerControlInfo>& controls) = 0;
    virtual int controlValues(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                              std::uint32_t items, std::vector<std::int32_t>& values) = 0;
    virtual int setControlValues(MixerHandle handle, std::uint32_t controlId,
                                 std::uint32_t channels, std::uint32_t items,
                                 const std::vector<std::int32_t>& values) = 0;
    virtual int listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                          std::uint32_t items, std::vector<MixerListText>& texts) = 0;
};

}  // namespace veruziva
