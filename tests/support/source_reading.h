#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_source.h"

namespace sonaro::test {

// Reads `frames` frames from the source's current position in blocks of `block` frames.
std::vector<InternalSample> ReadFrames(AudioSource& source, std::int64_t frames, int block = 4096);
// Reads the whole source from its start.
std::vector<InternalSample> ReadWhole(AudioSource& source, int block = 4096);

// Opens every prefix of `bytes` (written to `path`) with `open` and reads what it gives, so the
// sanitizers see any read outside a buffer. Prefixes are taken byte by byte over the first
// `denseBytes` bytes and at `stride` after that. Returns how many prefixes opened usable.
template <typename Open>
int OpenEveryPrefix(const std::vector<std::uint8_t>& bytes, const std::string& path, Open open,
                    std::size_t denseBytes = 256, std::size_t stride = 97);

void WritePrefix(const std::vector<std::uint8_t>& bytes, std::size_t size, const std::string& path);

template <typename Open>
int OpenEveryPrefix(const std::vector<std::uint8_t>& bytes, const std::string& path, Open open,
                    std::size_t denseBytes, std::size_t stride) {
    int usable = 0;
    for (std::size_t size = 0; size <= bytes.size(); size += size < denseBytes ? 1 : stride) {
        WritePrefix(bytes, size, path);
        SourceRef source = open(path);
        if (!source->isUnusable()) {
            ++usable;
            ReadWhole(*source);
            source->Seek(source->GetLength() / 2);
            ReadFrames(*source, 300);
        }
    }
    return usable;
}

}  // namespace sonaro::test
