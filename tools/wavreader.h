#pragma once

#include <QString>
#include <memory>
#include <span>
#include <vector>

#include "platform/captureformat.h"

struct sf_private_tag;

namespace veruziva::meter {

// Reads a recording block by block: 16-bit stereo PCM at 44100 frames per second only.
class WavReader {
public:
    WavReader();
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // False with errorText() set when the file cannot be read or has another format.
    bool open(const QString& path);
    // The next block of up to FramesPerBuffer frames; empty at the end of the file or on a
    // read error (see errorText()).
    std::span<const StereoFrame> nextBlock();
    const QString& errorText() const { return m_error; }

private:
    struct Closer {
        void operator()(sf_private_tag* file) const;
    };
    std::unique_ptr<sf_private_tag, Closer> m_file;
    QString m_path;
    QString m_error;
    std::vector<short> m_samples;
    std::vector<StereoFrame> m_frames;
};

}  // namespace veruziva::meter
