#include "support/source_reading.h"

#include <algorithm>
#include <fstream>

namespace sonaro::test {

std::vector<InternalSample> ReadFrames(AudioSource& source, std::int64_t frames, int block) {
    const auto channels = static_cast<std::size_t>(source.channels());
    std::vector<InternalSample> samples(static_cast<std::size_t>(frames) * channels);
    for (std::int64_t done = 0; done < frames; done += block) {
        const int count = static_cast<int>(std::min<std::int64_t>(block, frames - done));
        source.Read(samples.data() + static_cast<std::size_t>(done) * channels, count);
    }
    return samples;
}

std::vector<InternalSample> ReadWhole(AudioSource& source, int block) {
    source.Seek(0);
    return ReadFrames(source, source.GetLength(), block);
}

void WritePrefix(const std::vector<std::uint8_t>& bytes, std::size_t size,
                 const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
}

}  // namespace sonaro::test
