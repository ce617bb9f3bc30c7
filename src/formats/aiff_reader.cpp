#include "formats/aiff_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "formats/byte_order.h"
#include "formats/pcm_file_source.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

constexpr int kMaxChunks = 4096;
constexpr std::size_t kCommonBytes = 18;
constexpr std::size_t kAifcCommonBytes = 22;
constexpr std::uint32_t kOpenFormSize = 46;

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

bool isId(const std::uint8_t* bytes, const char* id) {
    return std::memcmp(bytes, id, 4) == 0;
}

struct AiffChunks {
    bool hasCommon = false;
    std::uint16_t channels = 0;
    std::uint32_t frames = 0;
    std::uint16_t bits = 0;
    std::uint8_t rate[10] = {};
    char compression[4] = {'N', 'O', 'N', 'E'};
    bool hasSound = false;
    bool soundToEnd = false;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
};

// False when a chunk the reader needs is cut short.
bool walkChunks(const ReadOnlyFile& file, bool aifc, std::uint32_t formSize, AiffChunks& chunks) {
    std::uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks && !(chunks.hasCommon && chunks.hasSound); ++chunk) {
        std::uint8_t head[8];
        if (!file.ReadExactly(offset, head, sizeof head)) {
            return true;
        }
        const std::uint32_t size = GetBe32(head + 4);
        const std::uint64_t body = offset + 8;
        if (isId(head, "COMM") && !chunks.hasCommon) {
            std::uint8_t common[kAifcCommonBytes] = {};
            const std::size_t need =
                aifc && size >= kAifcCommonBytes ? kAifcCommonBytes : kCommonBytes;
            if (size < kCommonBytes || !file.ReadExactly(body, common, need)) {
                return false;
            }
            chunks.hasCommon = true;
            chunks.channels = GetBe16(common);
            chunks.frames = GetBe32(common + 2);
            chunks.bits = GetBe16(common + 6);
            std::memcpy(chunks.rate, common + 8, 10);
            if (need == kAifcCommonBytes) {
                std::memcpy(chunks.compression, common + 18, 4);
            }
        } else if (isId(head, "SSND") && !chunks.hasSound) {
            std::uint8_t fields[8];
            if (!file.ReadExactly(body, fields, sizeof fields)) {
                return false;
            }
            const std::uint64_t start = body + 8 + GetBe32(fields);
            const std::uint64_t available = file.size() > start ? file.size() - start : 0;
            // The open-state FORM size: the data runs to the end whatever a checkpoint said.
            const bool unknown = size == kUnknownChunkSize || formSize == kUnknownChunkSize ||
                                 formSize == kOpenFormSize;
            const std::uint64_t declared = size >= 8 ? size - 8 : 0;
            chunks.hasSound = true;
            chunks.soundToEnd = unknown;
            chunks.dataOffset = start;
            chunks.dataBytes = unknown ? available : std::min(declared, available);
            if (unknown || declared > available) {
                return true;
            }
        }
        offset = body + size + (size & 1u);
    }
    return true;
}

bool chooseCoding(const AiffChunks& chunks, SampleCoding& coding, SourceStatus& refusal) {
    const auto is = [&](const char* id) { return std::memcmp(chunks.compression, id, 4) == 0; };
    if (is("NONE") || is("twos")) {
        if (chunks.bits == 0 || chunks.bits > 32) {
            refusal = SourceStatus::NotSupported;
            return false;
        }
        static constexpr SampleCoding kByBytes[] = {SampleCoding::Signed8, SampleCoding::Signed16Be,
                                                    SampleCoding::Signed24Be,
                                                    SampleCoding::Signed32Be};
        coding = kByBytes[(chunks.bits - 1) / 8];
    } else if (is("sowt") && chunks.bits == 16) {
        coding = SampleCoding::Signed16Le;
    } else if (is("fl32") || is("FL32")) {
        coding = SampleCoding::Float32Be;
    } else if (is("ulaw") || is("ULAW")) {
        coding = SampleCoding::MuLaw;
    } else if (is("alaw") || is("ALAW")) {
        coding = SampleCoding::ALaw;
    } else {
        refusal = SourceStatus::CodecMissing;
        return false;
    }
    return true;
}

}  // namespace

std::optional<int> DecodeAiffSampleRate(const std::uint8_t* bytes) {
    // Positive exponents 0x4000 to 0x401E: rates from 2 up to below 2^32.
    if (bytes[0] != 0x40 || bytes[1] > 30) {
        return std::nullopt;
    }
    const int shift = 30 - bytes[1];
    const std::uint64_t mantissa = GetBe32(bytes + 2);
    const std::uint64_t rate = shift == 0 ? mantissa : (mantissa + (1ull << (shift - 1))) >> shift;
    if (rate == 0 || rate > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return static_cast<int>(rate);
}

SourceRef OpenAiffFile(const std::string& path) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    std::uint8_t head[12];
    if (!file.ReadExactly(0, head, sizeof head) || !isId(head, "FORM") ||
        !(isId(head + 8, "AIFF") || isId(head + 8, "AIFC"))) {
        return failed(SourceStatus::NotSupported);
    }
    AiffChunks chunks;
    const std::uint32_t formSize = GetBe32(head + 4);
    if (!walkChunks(file, isId(head + 8, "AIFC"), formSize, chunks) || !chunks.hasCommon ||
        !chunks.hasSound) {
        return failed(SourceStatus::Corrupt);
    }
    const std::optional<int> rate = DecodeAiffSampleRate(chunks.rate);
    if (!rate.has_value() || chunks.channels == 0) {
        return failed(SourceStatus::Corrupt);
    }
    if (chunks.channels > 255) {
        return failed(SourceStatus::NotSupported);
    }
    PcmLayout layout;
    SourceStatus refusal = SourceStatus::NotSupported;
    if (!chooseCoding(chunks, layout.coding, refusal)) {
        return failed(refusal);
    }
    layout.rate = *rate;
    layout.channels = chunks.channels;
    layout.frameBytes = chunks.channels * BytesPerSample(layout.coding);
    layout.dataOffset = chunks.dataOffset;
    layout.frames = chunks.dataBytes / static_cast<std::uint64_t>(layout.frameBytes);
    // The count of a completed header may say less than the data (trailing padding); an
    // open-state header says 0, and the data then decides.
    if (!chunks.soundToEnd && chunks.frames > 0) {
        layout.frames = std::min<std::uint64_t>(layout.frames, chunks.frames);
    }
    if (formSize == kOpenFormSize) {
        // The writer's open-state header (or a checkpoint's): a recording still being written,
        // or cut short.
        FileSource::GrowthProbe probe;
        probe.fieldOffset = 4;
        probe.openValue = kOpenFormSize;
        probe.bigEndian = true;
        layout.growth = probe;
    }
    return MakeSource<PcmFileSource>(std::move(file), layout);
}

}  // namespace sonaro
