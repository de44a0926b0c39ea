#pragma once

#include <memory>
#include <string>

#include "platform/mixerservice.h"
#include "platform/waveinput.h"

namespace veruziva {

enum class AudioSystemKind { Alsa, SoundServer };

// The wave-input and mixer services the program uses, and how they were chosen.
struct AudioSystem {
    AudioSystemKind kind = AudioSystemKind::Alsa;
    std::unique_ptr<WaveInput> waveInput;
    std::unique_ptr<MixerService> mixers;
    std::string choice;   // one line for reports: which, and why
    std::string problem;  // what the user should know of the choice (empty: nothing)
};

// Forces the choice: "alsa" or "pulse".
inline constexpr const char* AudioSystemVariable = "VERUZIVA_AUDIO";

// The desktop's sound server (PulseAudio or PipeWire) when one answers, else the sound cards
// through ALSA. Asking never starts a server. The variable above, when set, decides instead.
AudioSystem OpenAudioSystem();

}  // namespace veruziva
