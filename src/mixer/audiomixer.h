#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixerservice.h"

namespace veruziva {

// The controls of one line, in the order the service lists them.
class TMixerControls {
public:
    // The control at the index, or nothing at or beyond the count.
    const MixerControlInfo* ControlAt(int index) const;
    int ControlCount() const { return static_cast<int>(m_items.size()); }

private:
    friend class TAudioMixer;
    std::vector<MixerControlInfo> m_items;
};

// One source line of a destination.
class TMixerConnection {
public:
    MixerLine LineInfo;
    TMixerControls Controls;
};

// The source lines of one destination.
class TMixerConnections {
public:
    const TMixerConnection* ConnectionAt(int index) const;
    int ConnectionCount() const { return static_cast<int>(m_items.size()); }

private:
    friend class TAudioMixer;
    std::vector<std::unique_ptr<TMixerConnection>> m_items;
};

// One destination line, with its own controls and its source lines.
class TMixerDestination {
public:
    MixerLine LineInfo;
    TMixerControls Controls;
    TMixerConnections Connections;
};

// The destinations of the open mixer.
class TMixerDestinations {
public:
    const TMixerDestination* DestinationAt(int index) const;
    int DestinationCount() const { return static_cast<int>(m_items.size()); }

private:
    friend class TAudioMixer;
    std::vector<std::unique_ptr<TMixerDestination>> m_items;
};

// What GetLineLevel reads of a line. -1 means: no such control.
struct LineLevel {
    std::int32_t left = -1;
    std::int32_t right = -1;
    std::int32_t mute = -1;  // for a source governed by a selector: the selector's value
    bool stereo = false;
    bool volumeDisabled = true;
    bool muteDisabled = true;
    bool isSelection = false;  // mute came from the destination's selector
};

class TAudioMixer;

// A change message of the open mixer: the component, the mixer's handle and the id of the line
// or control that changed.
using TMixerChange = std::function<void(TAudioMixer& sender, std::int32_t mixerH, std::int32_t id)>;

// The audio mixer component: one open mixer device, a snapshot of its destinations, source
// lines and controls, and the volume and mute of one line. The mixer is opened with change
// messages when the service can send them; they arrive between other events, on the thread
// that opened it.
class TAudioMixer {
public:
    explicit TAudioMixer(MixerService& service);
    ~TAudioMixer();
    TAudioMixer(const TAudioMixer&) = delete;
    TAudioMixer& operator=(const TAudioMixer&) = delete;

    int MixerCount() const { return m_mixerCount; }
    int MixerId() const { return m_mixerId; }
    // Opens mixer n (nothing happens for a number that names no mixer).
    void setMixerId(int n);
    void CloseMixer();

    // The snapshot; missing after CloseMixer.
    const TMixerDestinations* Destinations() const { return m_destinations.get(); }

    std::uint32_t DriverVersion() const { return m_driverVersion; }
    const std::string& Manufacturer() const { return m_manufacturer; }
    std::uint16_t ProductId() const { return m_productId; }
    std::int32_t NumberOfLine() const { return m_numberOfLine; }
    const std::string& ProductName() const { return m_productName; }

    // Line -1 is the destination itself. False only when there is no snapshot, or no such
    // destination or line.
    bool GetLineLevel(int destination, int line, LineLevel& level) const;
    // left or mute -1 leaves that setting; right -1 means the same as left.
    bool SetLineLevel(int destination, int line, std::int32_t left, std::int32_t right,
                      std::int32_t mute);

    // A line's state changed, or a control's value (by this program or another).
    TMixerChange OnLineChange;
    TMixerChange OnControlChange;
    // Whether the open mixer sends change messages (it was opened with them).
    bool Notifying() const { return m_notifying; }

private:
    // Receives the open mixer's change messages and raises the events.
    class NotifyWindow : public MixerChangeSink {
    public:
        explicit NotifyWindow(TAudioMixer& owner) : m_owner(owner) {}
        void lineChanged(MixerHandle handle, std::uint32_t lineId) override;
        void controlChanged(MixerHandle handle, std::uint32_t controlId) override;

    private:
        TAudioMixer& m_owner;
    };

    // A value read or written goes through a buffer of this many values.
    static constexpr std::uint32_t ValueBufferSize = 101;
    // The list-text search reads entries 0 to this at most.
    static constexpr std::uint32_t MaxListEntry = 1000;

    std::unique_ptr<TMixerDestinations> takeSnapshot();
    void readControls(const MixerLine& line, TMixerControls& controls);
    bool lineOf(int destination, int line, const TMixerDestination*& dest, const MixerLine*& info,
                const TMixerControls*& controls) const;
    bool queryValues(const MixerControlInfo& control, std::uint32_t channels, std::uint32_t items,
                     std::vector<std::int32_t>& values) const;
    // The index of the list entry that stands for the line, searched as the service lays the
    // entries out per channel; -1 when none does.
    int findListEntry(const MixerControlInfo& control, std::uint32_t channels,
                      std::uint32_t lineId) const;

    MixerService& m_service;
    NotifyWindow m_notifyWindow{*this};
    std::unique_ptr<TMixerDestinations> m_destinations;
    int m_mixerCount = 0;
    MixerHandle m_mixerHandle = 0;
    int m_mixerId = -1;
    bool m_notifying = false;
    MixerCaps m_caps;
    std::uint32_t m_driverVersion = 0;
    std::string m_manufacturer;
    std::uint16_t m_productId = 0;
    std::int32_t m_numberOfLine = 0;
    std::string m_productName;
};

}  // namespace veruziva
