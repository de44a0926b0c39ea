#pragma once

#include <alsa/asoundlib.h>

namespace veruziva::alsa {

// The simple-mixer calls of one side of an element, playback or capture, so that both sides
// are built, read and written by one path.
struct SelemSide {
    int (*isMono)(snd_mixer_elem_t*);
    int (*hasVolume)(snd_mixer_elem_t*);
    int (*hasVolumeJoined)(snd_mixer_elem_t*);
    int (*hasSwitch)(snd_mixer_elem_t*);
    int (*volumeRange)(snd_mixer_elem_t*, long*, long*);
    int (*volume)(snd_mixer_elem_t*, snd_mixer_selem_channel_id_t, long*);
    int (*setVolume)(snd_mixer_elem_t*, snd_mixer_selem_channel_id_t, long);
    int (*setVolumeAll)(snd_mixer_elem_t*, long);
    int (*switchState)(snd_mixer_elem_t*, snd_mixer_selem_channel_id_t, int*);
    int (*setSwitchAll)(snd_mixer_elem_t*, int);
};

inline constexpr SelemSide PlaybackSide{
    .isMono = snd_mixer_selem_is_playback_mono,
    .hasVolume = snd_mixer_selem_has_playback_volume,
    .hasVolumeJoined = snd_mixer_selem_has_playback_volume_joined,
    .hasSwitch = snd_mixer_selem_has_playback_switch,
    .volumeRange = snd_mixer_selem_get_playback_volume_range,
    .volume = snd_mixer_selem_get_playback_volume,
    .setVolume = snd_mixer_selem_set_playback_volume,
    .setVolumeAll = snd_mixer_selem_set_playback_volume_all,
    .switchState = snd_mixer_selem_get_playback_switch,
    .setSwitchAll = snd_mixer_selem_set_playback_switch_all,
};

inline constexpr SelemSide CaptureSide{
    .isMono = snd_mixer_selem_is_capture_mono,
    .hasVolume = snd_mixer_selem_has_capture_volume,
    .hasVolumeJoined = snd_mixer_selem_has_capture_volume_joined,
    .hasSwitch = snd_mixer_selem_has_capture_switch,
    .volumeRange = snd_mixer_selem_get_capture_volume_range,
    .volume = snd_mixer_selem_get_capture_volume,
    .setVolume = snd_mixer_selem_set_capture_volume,
    .setVolumeAll = snd_mixer_selem_set_capture_volume_all,
    .switchState = snd_mixer_selem_get_capture_switch,
    .setSwitchAll = snd_mixer_selem_set_capture_switch_all,
};

}  // namespace veruziva::alsa
