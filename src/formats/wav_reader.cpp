#include "formats/wav_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "formats/block_file_source.h"
#include "formats/byte_order.h"
#include "formats/gsm_codec.h"
#include "formats/pcm_file_source.h"
#include "formats/wav_header.h"
#include "formats/wave_format.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kPcmTag = 1;
constexpr std::uint16_t kFloatTag = 3;
constexpr std::uint16_t kGsmTag = 0x31;
constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::size_t kMaxFormatBytes = 8192;
// Blocks in front of "RIFF" and chunks within it that are walked before giving up: far more than
// any real file holds, few enough that a file of tiny chunks cannot keep the opener busy.
constexpr int kMaxBlocks = 4096;

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

bool isId(const std::uint8_t* bytes, const char* id) {
    return std::memcmp(bytes, id, 4) == 0;
}

// The offset just past a chunk whose data starts at `dataOffset`, padded to an even size.
std::uint64_t chunkEnd(std::uint64_t dataOffset, std::uint32_t size) {
    return dataOffset + size + (size & 1u);
}

struct WavChunks {
    std::vector<std::uint8_t> format;  // the "fmt " chunk's bytes (at most kMaxFormatBytes)
    bool hasFormat = false;
    std::optional<std::uint32_t> factFrames;
    bool hasData = false;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
    // The RIFF size is unknown while the data size is not: our writers' header of a recording
    // still being written (the open-state placeholder or a checkpoint's size), or cut short.
    bool openState = false;
    std::uint64_t riffSizeOffset = 0;
};

// Finds "RIFF" <size> "WAVE", skipping blocks in front of it by their size field.
std::optional<std::uint64_t> findRiff(const ReadOnlyFile& file, std::uint32_t& riffSize) {
    std::uint64_t offset = 0;
    for (int block = 0; block < kMaxBlocks; ++block) {
        std::uint8_t head[12];
        if (!file.ReadExactly(offset, head, sizeof head)) {
            return std::nullopt;
        }
        riffSize = GetLe32(head + 4);
        if (isId(head, "RIFF") && isId(head + 8, "WAVE")) {
            return offset;
        }
        const std::uint64_t next = chunkEnd(offset + 8, riffSize);
        if (next >= file.size()) {
            return std::nullopt;
        }
        offset = next;
    }
    return std::nullopt;
}

// Walks the chunks after the RIFF header; false when the file is cut short inside "fmt ".
bool walkChunks(const ReadOnlyFile& file, std::uint64_t riff, std::uint32_t riffSize,
                WavChunks& chunks) {
    std::uint64_t offset = riff + 12;
    for (int chunk = 0; chunk < kMaxBlocks && !(chunks.hasFormat && chunks.hasData); ++chunk) {
        std::uint8_t head[8];
        if (!file.ReadExactly(offset, head, sizeof head)) {
            return true;
        }
        const std::uint32_t size = GetLe32(head + 4);
        const std::uint64_t body = offset + 8;
        if (isId(head, "fmt ")) {
            chunks.format.resize(std::min<std::size_t>(size, kMaxFormatBytes));
            if (!file.ReadExactly(body, chunks.format.data(), chunks.format.size())) {
                return false;
            }
            chunks.hasFormat = true;
        } else if (isId(head, "fact") && size >= 4) {
            std::uint8_t count[4];
            if (file.ReadExactly(body, count, sizeof count)) {
                chunks.factFrames = GetLe32(count);
            }
        } else if (isId(head, "data") && !chunks.hasData) {
            const std::uint64_t available = file.size() > body ? file.size() - body : 0;
            // Unknown sizes: the open-state header of a recording, or a file past 4 GiB.
            const bool unknown = size == kUnknownChunkSize || riffSize == kUnknownChunkSize;
            chunks.hasData = true;
            chunks.dataOffset = body;
            chunks.riffSizeOffset = riff + 4;
            chunks.openState = riffSize == kUnknownChunkSize && size != kUnknownChunkSize;
            chunks.dataBytes = unknown ? available : std::min<std::uint64_t>(size, available);
            if (unknown || size > available) {
                return true;  // the data runs to the end: nothing lies behind it
            }
        }
        offset = chunkEnd(body, size);
    }
    return true;
}

struct Format {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
    std::vector<std::uint8_t> extra;
};

// False when the chunk is too short for the fields its tag needs.
bool decodeFormat(const std::vector<std::uint8_t>& bytes, Format& format) {
    if (bytes.size() < 16) {
        return false;
    }
    const std::uint8_t* in = bytes.data();
    format.tag = GetLe16(in);
    format.channels = GetLe16(in + 2);
    format.rate = GetLe32(in + 4);
    format.avgBytesPerSec = GetLe32(in + 8);
    format.blockAlign = GetLe16(in + 12);
    format.bits = GetLe16(in + 14);
    if (bytes.size() >= 18) {
        const std::size_t extra = std::min<std::size_t>(GetLe16(in + 16), bytes.size() - 18);
        format.extra.assign(in + 18, in + 18 + extra);
    }
    if (format.tag == kExtensibleTag) {
        // Valid bits, channel mask, then the sub-format GUID whose first two bytes are the tag.
        if (format.extra.size() < 22) {
            return false;
        }
        format.tag = GetLe16(format.extra.data() + 6);
    }
    return true;
}

std::optional<FileSource::GrowthProbe> growthOf(const WavChunks& chunks) {
    if (!chunks.openState) {
        return std::nullopt;
    }
    FileSource::GrowthProbe probe;
    probe.fieldOffset = chunks.riffSizeOffset;
    probe.openValue = kUnknownChunkSize;
    return probe;
}

int bytesForBits(int bits) {
    return bits <= 8 ? 1 : bits <= 16 ? 2 : bits <= 24 ? 3 : 4;
}

SourceRef openPcm(ReadOnlyFile file, const Format& format, const WavChunks& chunks) {
    const int container = format.blockAlign / format.channels;
    if (format.bits > 32 || container > 4) {
        return failed(SourceStatus::NotSupported);
    }
    if (container < bytesForBits(format.bits)) {
        return failed(SourceStatus::Corrupt);
    }
    // Samples narrower than their container sit in its top bits, so the container decides.
    static constexpr SampleCoding kByContainer[] = {
        SampleCoding::Unsigned8, SampleCoding::Signed16Le, SampleCoding::Signed24Le,
        SampleCoding::Signed32Le};
    PcmLayout layout;
    layout.rate = static_cast<int>(format.rate);
    layout.channels = format.channels;
    layout.coding = kByContainer[container - 1];
    layout.frameBytes = format.blockAlign;
    layout.dataOffset = chunks.dataOffset;
    layout.frames = chunks.dataBytes / format.blockAlign;
    layout.growth = growthOf(chunks);
    return MakeSource<PcmFileSource>(std::move(file), layout);
}

SourceRef openFloat(ReadOnlyFile file, const Format& format, const WavChunks& chunks) {
    if (format.bits != 32 || format.blockAlign < 4 * format.channels) {
        return failed(SourceStatus::NotSupported);
    }
    PcmLayout layout;
    layout.rate = static_cast<int>(format.rate);
    layout.channels = format.channels;
    layout.coding = SampleCoding::Float32Le;
    layout.frameBytes = format.blockAlign;
    layout.dataOffset = chunks.dataOffset;
    layout.frames = chunks.dataBytes / format.blockAlign;
    layout.growth = growthOf(chunks);
    return MakeSource<PcmFileSource>(std::move(file), layout);
}

SourceRef openBlocks(ReadOnlyFile file, std::unique_ptr<BlockDecoder> decoder, const Format& format,
                     const WavChunks& chunks) {
    const std::uint64_t blocks = chunks.dataBytes / format.blockAlign;
    const std::uint64_t all = blocks * static_cast<std::uint64_t>(decoder->framesPerBlock());
    // A zero count is a header never completed; the blocks then tell the length.
    const std::uint64_t frames = chunks.factFrames.value_or(0) > 0 ? *chunks.factFrames : all;
    return MakeSource<BlockFileSource>(std::move(file), std::move(decoder),
                                       static_cast<int>(format.rate), chunks.dataOffset, blocks,
                                       frames, growthOf(chunks));
}

SourceRef openCompressed(ReadOnlyFile file, const Format& format, const WavChunks& chunks,
                         const CodecManager& codecs) {
    std::unique_ptr<BlockDecoder> decoder;
    if (format.tag == kGsmTag) {
        if (format.channels != 1 || format.blockAlign != GsmCodec::kBytesPerBlock) {
            return failed(SourceStatus::NotSupported);
        }
        decoder = MakeGsmWavDecoder();
    } else {
        WaveFormat source;
        source.formatTag = format.tag;
        source.channels = format.channels;
        source.samplesPerSec = format.rate;
        source.avgBytesPerSec = format.avgBytesPerSec;
        source.blockAlign = format.blockAlign;
        source.bitsPerSample = format.bits;
        source.extra = format.extra;
        const WaveFormat target = MakePcmWaveFormat(format.rate, format.channels, 16);
        decoder = MakeCodecStreamDecoder(codecs.OpenStream(source, target), format.blockAlign,
                                         format.channels);
    }
    if (decoder == nullptr) {
        return failed(SourceStatus::CodecMissing);
    }
    return openBlocks(std::move(file), std::move(decoder), format, chunks);
}

}  // namespace

SourceRef OpenWavFile(const std::string& path, const CodecManager& codecs) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    std::uint32_t riffSize = 0;
    const std::optional<std::uint64_t> riff = findRiff(file, riffSize);
    if (!riff.has_value()) {
        return failed(SourceStatus::NotSupported);
    }
    WavChunks chunks;
    Format format;
    if (!walkChunks(file, *riff, riffSize, chunks) || !chunks.hasFormat || !chunks.hasData ||
        !decodeFormat(chunks.format, format)) {
        return failed(SourceStatus::Corrupt);
    }
    if (format.channels == 0 || format.blockAlign == 0 || format.rate == 0 ||
        format.rate > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return failed(SourceStatus::Corrupt);
    }
    if (format.channels > 255) {
        return failed(SourceStatus::NotSupported);
    }
    switch (format.tag) {
        case kPcmTag:
            return openPcm(std::move(file), format, chunks);
        case kFloatTag:
            return openFloat(std::move(file), format, chunks);
        default:
            return openCompressed(std::move(file), format, chunks, codecs);
    }
}

std::optional<std::uint16_t> ReadWavFormatTag(const std::string& path) {
    ReadOnlyFile file;
    std::uint32_t riffSize = 0;
    WavChunks chunks;
    Format format;
    if (!file.Open(path)) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> riff = findRiff(file, riffSize);
    if (!riff.has_value() || !walkChunks(file, *riff, riffSize, chunks) || !chunks.hasFormat ||
        !decodeFormat(chunks.format, format)) {
        return std::nullopt;
    }
    return format.tag;
}

}  // namespace sonaro
