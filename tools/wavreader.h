#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/captureformat.h"

struct sf_private_tag;
struct SF_INFO;

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
    // The same from a file already open, read from its start; the reader closes it.
    bool open(int fd, const QString& path);
    // The same from a file's bytes in memory (what came through a pipe).
    bool open(QByteArray bytes, const QString& path);
    // The next block of up to FramesPerBuffer frames; empty at the end of the file or on a
    // read error (see errorText()).
    std::span<const StereoFrame> nextBlock();
    const QString& errorText() const { return m_error; }

private:
    // A file's bytes as libsndfile reads them.
    struct Memory {
        QByteArray bytes;
        std::int64_t position = 0;
    };
    bool opened(sf_private_tag* file, const SF_INFO& info);

    struct Closer {
        void operator()(sf_private_tag* file) const;
    };
    std::unique_ptr<Memory> m_memory;  // outlives the file that reads it
    std::unique_ptr<sf_private_tag, Closer> m_file;
    QString m_path;
    QString m_error;
    std::vector<short> m_samples;
    std::vector<StereoFrame> m_frames;
};

}  // namespace veruziva::meter
