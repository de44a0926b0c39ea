#include "platform/alsa/alsadevices.h"

#include <alsa/asoundlib.h>

#include <array>
#include <memory>

namespace veruziva::alsa {
namespace {

std::string Shorten(std::string name) {
    if (name.size() > MaxDeviceNameLength) {
        name.resize(MaxDeviceNameLength);
    }
    return name;
}

// ALSA's own helpers and aliases: not input devices of their own.
bool IsHelper(const std::string& name) {
    static const std::array<const char*, 14> helpers{
        "null",      "default", "sysdefault", "jack",     "oss", "lavrate",   "samplerate",
        "speexrate", "speex",   "upmix",      "vdownmix", "a52", "usbstream", "dmix"};
    for (const char* helper : helpers) {
        if (name == helper) {
            return true;
        }
    }
    return name.find(':') != std::string::npos;  // per-card aliases such as front:CARD=...
}

bool ConfigDefinesControl(const std::string& name) {
    if (snd_config_update() < 0 || snd_config == nullptr) {
        return false;
    }
    snd_config_t* node = nullptr;
    return snd_config_search(snd_config, ("ctl." + name).c_str(), &node) == 0;
}

// The PCM or its control device is one of a sound server's plugin.
bool RoutesThroughServer(const std::string& name) {
    for (const char* kind : {"pcm.", "ctl."}) {
        snd_config_t* type = nullptr;
        const char* value = nullptr;
        if (snd_config_search(snd_config, (kind + name + ".type").c_str(), &type) == 0 &&
            snd_config_get_string(type, &value) == 0 && value != nullptr &&
            (std::string(value) == "pulse" || std::string(value) == "pipewire")) {
            return true;
        }
    }
    return false;
}

std::string Hint(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (value == nullptr) {
        return {};
    }
    std::string text(value);
    std::free(value);
    return text;
}

void AddCards(std::vector<CaptureDevice>& devices) {
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        snd_ctl_t* ctl = nullptr;
        const std::string hw = "hw:" + std::to_string(card);
        if (snd_ctl_open(&ctl, hw.c_str(), 0) < 0) {
            continue;
        }
        snd_ctl_card_info_t* cardInfo = nullptr;
        snd_ctl_card_info_alloca(&cardInfo);
        if (snd_ctl_card_info(ctl, cardInfo) < 0) {
            snd_ctl_close(ctl);
            continue;
        }
        const std::string id = snd_ctl_card_info_get_id(cardInfo);
        const std::string tag = std::to_string(card) + ": ";
        const std::string cardName = tag + snd_ctl_card_info_get_name(cardInfo);
        int device = -1;
        while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
            snd_pcm_info_t* pcmInfo = nullptr;
            snd_pcm_info_alloca(&pcmInfo);
            snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
            snd_pcm_info_set_subdevice(pcmInfo, 0);
            snd_pcm_info_set_stream(pcmInfo, SND_PCM_STREAM_CAPTURE);
            if (snd_ctl_pcm_info(ctl, pcmInfo) < 0) {
                continue;  // no capture on this device
            }
            devices.push_back({Shorten(cardName + ": " + snd_pcm_info_get_name(pcmInfo)),
                               "plughw:CARD=" + id + ",DEV=" + std::to_string(device),
                               Shorten(cardName), "hw:CARD=" + id});
        }
        snd_ctl_close(ctl);
    }
}

void AddConfiguredPcms(std::vector<CaptureDevice>& devices, ServerDevices server) {
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) {
        return;
    }
    int index = 0;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        const std::string name = Hint(*hint, "NAME");
        const std::string description = Hint(*hint, "DESC");
        const std::string direction = Hint(*hint, "IOID");
        if (name.empty() || description.empty() || direction == "Output" || IsHelper(name) ||
            !ConfigDefinesControl(name) ||
            (server == ServerDevices::Left && RoutesThroughServer(name))) {
            continue;
        }
        const std::string title = description.substr(0, description.find('\n'));
        std::string tagged = "P";
        tagged.append(std::to_string(index++)).append(": ").append(title);
        tagged = Shorten(std::move(tagged));
        devices.push_back({tagged, name, tagged, name});
    }
    snd_device_name_free_hint(hints);
}

}  // namespace

std::vector<CaptureDevice> EnumerateCaptureDevices(ServerDevices server) {
    std::vector<CaptureDevice> devices;
    AddCards(devices);
    AddConfiguredPcms(devices, server);
    return devices;
}

}  // namespace veruziva::alsa
