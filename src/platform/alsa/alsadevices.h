#pragma once

#include <string>
#include <vector>

namespace veruziva::alsa {

// An input device as the instrument sees it on ALSA, paired with its control device (mixer).
// Names start with a short tag, the card number ("0: ") or "P<k>: " for a PCM defined in the
// ALSA configuration, so that a device and its mixer agree in their first five characters and
// different devices do not.
struct CaptureDevice {
    std::string name;       // device name, at most 31 characters
    std::string pcmName;    // what snd_pcm_open takes
    std::string mixerName;  // name of its mixer
    std::string ctlName;    // what snd_ctl_open / snd_mixer_attach take
};

// Which devices to list.
enum class ServerDevices {
    Listed,
    // Left out: a PCM or control of the sound server's ALSA plugin (pulse, pipewire) only
    // works while that server answers, and waits as long as a stopped or hung one does.
    Left,
};

// Every capture device of every sound card, then every capture-capable PCM that the ALSA
// configuration defines with a description hint and a control device of the same name.
std::vector<CaptureDevice> EnumerateCaptureDevices(ServerDevices server = ServerDevices::Listed);

inline constexpr std::size_t MaxDeviceNameLength = 31;

}  // namespace veruziva::alsa
