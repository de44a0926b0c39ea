#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "platform/mixerchanges.h"
#include "platform/mixerservice.h"

namespace veruziva::sim {

// A mixer service in memory: devices built from destinations, source lines, controls and
// selector lists; any call can be made to fail.
class SimMixerService : public MixerService {
public:
    SimMixerService() = default;
    ~SimMixerService() override;
    SimMixerService(const SimMixerService&) = delete;
    SimMixerService& operator=(const SimMixerService&) = delete;

    enum class Call {
        Caps,
        Open,
        OpenWithNotifications,
        Close,
        LineByDestination,
        LineBySource,
        LineControls,
        ControlValues,
        SetControlValues,
        ListTexts
    };
    struct Write {
        unsigned device;
        std::uint32_t controlId;
        std::vector<std::int32_t> values;
    };

    // Building: a device, its destinations and their source lines (source -1: the destination
    // itself), and controls on them. Each returns the new index or control id.
    unsigned addDevice(const std::string& name, std::uint16_t manufacturerId = 2);
    unsigned addDestination(unsigned device, const std::string& name, std::uint32_t channels = 2);
    unsigned addSource(unsigned device, unsigned destination, const std::string& name,
                       std::uint32_t channels = 2);
    std::uint32_t addVolume(unsigned device, unsigned destination, int source,
                            std::int32_t value = 0, bool uniform = false, std::uint32_t flags = 0);
    std::uint32_t addMute(unsigned device, unsigned destination, int source, std::int32_t value = 0,
                          bool uniform = false, std::uint32_t flags = 0);
    // A selector on a destination: one entry per named source line (by name), `selected` on.
    std::uint32_t addSelector(unsigned device, unsigned destination, std::uint32_t type,
                              const std::vector<std::string>& sources,
                              const std::string& selected = {}, std::uint32_t flags = 0);
    // A destination or source line that the service fails to report.
    void hideLine(unsigned device, unsigned destination, int source);

    void failCall(Call call, int result, int successesFirst = 0, int times = 1);

    // Another program sets a control, or changes a line: every mixer of the device opened with
    // change messages gets one, as writes through this service give them too. The messages go
    // out from the event loop, or at deliverChanges().
    void setFromOutside(unsigned device, std::uint32_t controlId, std::vector<std::int32_t> values);
    void lineChangedOutside(unsigned device, unsigned destination, int source);
    void deliverChanges();
    // The hardware's side: called at once, inside the call, whenever a control's values change.
    std::function<void(unsigned device, std::uint32_t controlId)> onValuesChanged;

    // Inspection.
    std::vector<std::int32_t> values(unsigned device, std::uint32_t controlId) const;
    std::uint32_t lineId(unsigned device, unsigned destination, int source) const;
    const std::vector<Write>& writes() const { return m_writes; }
    int calls(Call call) const;
    std::vector<bool> openNotifications() const { return m_openNotifications; }
    int openMixers() const;
    // Mixers open with change messages.
    int changeSinks() const { return static_cast<int>(m_sinks.size()); }

    unsigned deviceCount() override;
    int caps(unsigned device, MixerCaps& caps) override;
    int open(MixerHandle& handle, unsigned device, MixerChangeSink* changes) override;
    int close(MixerHandle handle) override;
    int lineByDestination(MixerHandle handle, std::uint32_t destination, MixerLine& line) override;
    int lineBySource(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                     MixerLine& line) override;
    int lineControls(MixerHandle handle, std::uint32_t lineId,
                     std::vector<MixerControlInfo>& controls) override;
    int controlValues(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                      std::uint32_t items, std::vector<std::int32_t>& values) override;
    int setControlValues(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                         std::uint32_t items, const std::vector<std::int32_t>& values) override;
    int listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                  std::uint32_t items, std::vector<MixerListText>& texts) override;

private:
    struct Control {
        MixerControlInfo info;
        std::vector<std::int32_t> values;
        std::vector<std::string> sourceNames;  // selectors: the entries' line names
    };
    struct Line {
        MixerLine line;
        std::vector<Control> controls;
        bool hidden = false;
    };
    struct Destination {
        Line line;
        std::vector<Line> sources;
    };
    struct Device {
        MixerCaps caps;
        std::vector<Destination> destinations;
        std::uint32_t nextControlId = 1;
    };
    struct Failure {
        int result = 0;
        int successesFirst = 0;
        int times = 0;
    };

    struct Message {
        unsigned device;
        bool line;
        std::uint32_t id;
    };

    int scripted(Call call);
    void post(unsigned device, bool line, std::uint32_t id);
    Control* controlOf(unsigned device, std::uint32_t controlId);
    Line& lineAt(unsigned device, unsigned destination, int source);
    const Line* findLine(const Device& device, std::uint32_t lineId) const;
    Control* findControl(MixerHandle handle, std::uint32_t controlId);
    const Device* deviceOf(MixerHandle handle) const;
    std::uint32_t addControl(unsigned device, unsigned destination, int source, Control control);

    std::vector<Device> m_devices;
    std::map<MixerHandle, unsigned> m_open;
    MixerHandle m_nextHandle = 1;
    std::map<Call, Failure> m_failures;
    std::map<Call, int> m_calls;
    std::vector<Write> m_writes;
    std::vector<bool> m_openNotifications;
    std::map<MixerHandle, MixerChangeSink*> m_sinks;
    std::deque<Message> m_messages;
    MixerChangeWatch* m_watch = nullptr;
};

}  // namespace veruziva::sim
