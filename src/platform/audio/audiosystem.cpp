#include "platform/audio/audiosystem.h"

#include <cstdlib>
#include <string_view>

#include "platform/alsa/alsamixerservice.h"
#include "platform/alsa/alsawaveinput.h"
#include "platform/pulse/pulsemixerservice.h"
#include "platform/pulse/pulsewaveinput.h"

namespace veruziva {
namespace {

AudioSystem Alsa(std::string choice, alsa::ServerDevices server = alsa::ServerDevices::Listed) {
    AudioSystem system;
    system.kind = AudioSystemKind::Alsa;
    system.waveInput = std::make_unique<alsa::AlsaWaveInput>(server);
    system.mixers = std::make_unique<alsa::AlsaMixerService>(server);
    system.choice = std::move(choice);
    return system;
}

AudioSystem Server(const std::shared_ptr<pulse::SoundServer>& server, std::string choice) {
    AudioSystem system;
    system.kind = AudioSystemKind::SoundServer;
    system.waveInput = std::make_unique<pulse::PulseWaveInput>(server);
    system.mixers = std::make_unique<pulse::PulseMixerService>(server);
    system.choice = std::move(choice);
    return system;
}

}  // namespace

AudioSystem OpenAudioSystem() {
    const char* forced = std::getenv(AudioSystemVariable);
    const std::string_view wanted = forced != nullptr ? forced : "";
    const std::string variable(AudioSystemVariable);
    if (wanted == "alsa") {
        return Alsa("ALSA (" + variable + "=alsa)");
    }
    std::string reason;
    pulse::PulseConnection::Failure failure = pulse::PulseConnection::Failure::None;
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find(&reason, &failure);
    if (wanted == "pulse") {
        if (!server) {
            // Forced: use it all the same; it has no inputs while no server answers.
            server = std::make_shared<pulse::SoundServer>(nullptr);
        }
        return Server(server, "sound server (" + variable + "=pulse)");
    }
    const std::string ignored =
        wanted.empty() ? std::string() : ", " + variable + "=" + std::string(wanted) + " ignored";
    if (server) {
        return Server(server, "sound server (it answers" + ignored + ")");
    }
    if (failure == pulse::PulseConnection::Failure::NoAnswer) {
        AudioSystem system = Alsa(
            "ALSA without the sound server's devices (a sound server is there but does not "
            "answer: " +
                reason + ignored + ")",
            alsa::ServerDevices::Left);
        system.problem =
            "the sound server does not answer (is it stopped or hung?): its inputs are not "
            "available";
        return system;
    }
    // The server's own ALSA plugin (pulse, pipewire) cannot reach it either: its devices would
    // only fail to open, so the cards are what is offered.
    return Alsa("ALSA without the sound server's devices (no sound server answers: " + reason +
                    ignored + ")",
                alsa::ServerDevices::Left);
}

}  // namespace veruziva
