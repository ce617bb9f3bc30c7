#include "formats/mp3_reader.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "formats/file_source.h"

namespace sonaro {
namespace {

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

class Mp3Source final : public FileSource {
  public:
    Mp3Source(ReadOnlyFile file, Handle handle, int rate, int channels, std::int64_t length)
        : FileSource(std::move(file), rate, kFullScalePeak, channels, length),
          m_handle(std::move(handle)),
          m_pcm(static_cast<std::size_t>(kMaxBlockFrames) * static_cast<std::size_t>(channels)) {}

  private:
    int readFrames(std::int64_t first, InternalSample* dest, int frames) override {
        if (first != m_decoded) {
            const off_t at = mpg123_seek(m_handle.get(), static_cast<off_t>(first), SEEK_SET);
            if (at < 0) {
                return 0;
            }
            m_decoded = at;
        }
        const auto channelCount = static_cast<std::size_t>(channels());
        const std::size_t frameBytes = channelCount * sizeof(std::int16_t);
        std::size_t filled = 0;  // bytes
        const std::size_t wanted = static_cast<std::size_t>(frames) * frameBytes;
        while (filled < wanted) {
            std::size_t done = 0;
            const int result =
                mpg123_read(m_handle.get(), reinterpret_cast<unsigned char*>(m_pcm.data()) + filled,
                            wanted - filled, &done);
            filled += done;
            if (result == MPG123_NEW_FORMAT || (result == MPG123_OK && done > 0)) {
                continue;
            }
            break;  // the end, an error, or no progress
        }
        const std::size_t whole = filled / frameBytes;
        ConvertPcm16ToInternal(m_pcm.data(), dest, static_cast<std::int64_t>(whole * channelCount));
        m_decoded += static_cast<std::int64_t>(whole);
        if (whole < static_cast<std::size_t>(frames)) {
            m_decoded = -1;  // position unknown: seek before the next read
        }
        return static_cast<int>(whole);
    }

    Handle m_handle;
    std::vector<std::int16_t> m_pcm;
    std::int64_t m_decoded = 0;  // the frame the decoder delivers next
};

bool initLibrary() {
    static const bool ok = mpg123_init() == MPG123_OK;
    return ok;
}

}  // namespace

SourceRef OpenMp3File(const std::string& path) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    if (!initLibrary()) {
        return failed(SourceStatus::CodecMissing);
    }
    int error = MPG123_OK;
    Handle handle(mpg123_new(nullptr, &error));
    if (handle == nullptr) {
        return failed(SourceStatus::CodecMissing);
    }
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    // 16-bit output at every rate the decoder offers, in the stream's own channel count.
    mpg123_format_none(handle.get());
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open_fd(handle.get(), file.descriptor()) != MPG123_OK) {
        return failed(SourceStatus::Corrupt);
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        (channels != 1 && channels != 2) || mpg123_scan(handle.get()) != MPG123_OK) {
        return failed(SourceStatus::Corrupt);
    }
    // The channel count stays what the first frame said, whatever later frames say.
    mpg123_format_none(handle.get());
    mpg123_format(handle.get(), rate, channels, MPG123_ENC_SIGNED_16);
    const off_t length = mpg123_length(handle.get());
    if (length < 0 || mpg123_seek(handle.get(), 0, SEEK_SET) < 0) {
        return failed(SourceStatus::Corrupt);
    }
    return MakeSource<Mp3Source>(std::move(file), std::move(handle), static_cast<int>(rate),
                                 channels, static_cast<std::int64_t>(length));
}

}  // namespace sonaro
