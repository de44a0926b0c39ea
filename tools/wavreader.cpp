#include "wavreader.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace veruziva::meter {
namespace {

QString SubtypeName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name) {
        return QString::fromUtf8(info.name);
    }
    return QStringLiteral("unknown sample format");
}

}  // namespace

void WavReader::Closer::operator()(sf_private_tag* file) const {
    sf_close(file);
}

WavReader::WavReader()
    : m_samples(static_cast<std::size_t>(FramesPerBuffer) * Channels),
      m_frames(static_cast<std::size_t>(FramesPerBuffer)) {}

WavReader::~WavReader() = default;

bool WavReader::open(const QString& path) {
    m_path = path;
    SF_INFO info{};
    return opened(sf_open(path.toLocal8Bit().constData(), SFM_READ, &info), info);
}

bool WavReader::open(int fd, const QString& path) {
    m_path = path;
    SF_INFO info{};
    return opened(sf_open_fd(fd, SFM_READ, &info, SF_TRUE), info);
}

bool WavReader::open(QByteArray bytes, const QString& path) {
    m_path = path;
    m_file.reset();
    m_memory = std::make_unique<Memory>(Memory{std::move(bytes)});
    static SF_VIRTUAL_IO io{
        [](void* memory) -> sf_count_t { return static_cast<Memory*>(memory)->bytes.size(); },
        [](sf_count_t offset, int whence, void* data) -> sf_count_t {
            auto* memory = static_cast<Memory*>(data);
            const sf_count_t base = whence == SEEK_CUR   ? memory->position
                                    : whence == SEEK_END ? memory->bytes.size()
                                                         : 0;
            memory->position = std::clamp<sf_count_t>(base + offset, 0, memory->bytes.size());
            return memory->position;
        },
        [](void* destination, sf_count_t count, void* data) -> sf_count_t {
            auto* memory = static_cast<Memory*>(data);
            const sf_count_t n =
                std::min<sf_count_t>(count, memory->bytes.size() - memory->position);
            std::memcpy(destination, memory->bytes.constData() + memory->position,
                        static_cast<std::size_t>(n));
            memory->position += n;
            return n;
        },
        [](const void*, sf_count_t, void*) -> sf_count_t { return 0; },
        [](void* memory) -> sf_count_t { return static_cast<Memory*>(memory)->position; }};
    SF_INFO info{};
    return opened(sf_open_virtual(&io, SFM_READ, &info, m_memory.get()), info);
}

bool WavReader::opened(SNDFILE* file, const SF_INFO& info) {
    m_file.reset(file);
    if (!m_file) {
        m_error = QStringLiteral("cannot read %1: %2")
                      .arg(m_path, QString::fromUtf8(sf_strerror(nullptr)));
        return false;
    }
    if (info.channels != Channels || info.samplerate != SampleRate ||
        (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
        m_error = QStringLiteral(
                      "%1 is not 16-bit stereo PCM at 44100 frames/s (it has %2 channel(s), "
                      "%3 frames/s, %4)")
                      .arg(m_path)
                      .arg(info.channels)
                      .arg(info.samplerate)
                      .arg(SubtypeName(info.format));
        m_file.reset();
        return false;
    }
    return true;
}

std::span<const StereoFrame> WavReader::nextBlock() {
    if (!m_file) {
        return {};
    }
    const sf_count_t read = sf_readf_short(m_file.get(), m_samples.data(), FramesPerBuffer);
    if (read <= 0) {
        if (sf_error(m_file.get()) != SF_ERR_NO_ERROR) {
            m_error = QStringLiteral("cannot read %1: %2")
                          .arg(m_path, QString::fromUtf8(sf_strerror(m_file.get())));
        }
        m_file.reset();
        return {};
    }
    const auto frames = static_cast<std::size_t>(read);
    for (std::size_t i = 0; i < frames; ++i) {
        m_frames[i] = StereoFrame{m_samples[2 * i], m_samples[2 * i + 1]};
    }
    return {m_frames.data(), frames};
}

}  // namespace veruziva::meter
