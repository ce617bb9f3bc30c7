#include "formats/au_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "formats/byte_order.h"
#include "formats/pcm_file_source.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

constexpr std::size_t kHeaderBytes = 24;

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

}  // namespace

SourceRef OpenAuFile(const std::string& path) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    std::uint8_t header[kHeaderBytes];
    if (!file.ReadExactly(0, header, sizeof header) || std::memcmp(header, ".snd", 4) != 0) {
        return failed(SourceStatus::Corrupt);
    }
    const std::uint32_t offset = GetBe32(header + 4);
    const std::uint32_t size = GetBe32(header + 8);
    const std::uint32_t encoding = GetBe32(header + 12);
    const std::uint32_t rate = GetBe32(header + 16);
    const std::uint32_t channels = GetBe32(header + 20);
    if (offset < kHeaderBytes || offset > file.size() || channels == 0 || rate == 0 ||
        rate > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return failed(SourceStatus::Corrupt);
    }
    if (channels > 255) {
        return failed(SourceStatus::NotSupported);
    }
    PcmLayout layout;
    switch (encoding) {
        case 1:
            layout.coding = SampleCoding::MuLaw;
            break;
        case 2:
            layout.coding = SampleCoding::Signed8;
            break;
        case 3:
            layout.coding = SampleCoding::Signed16Be;
            break;
        case 27:
            layout.coding = SampleCoding::ALaw;
            break;
        default:
            return failed(SourceStatus::CodecMissing);
    }
    const std::uint64_t available = file.size() - offset;
    const std::uint64_t dataBytes =
        size == kUnknownChunkSize ? available : std::min<std::uint64_t>(size, available);
    layout.rate = static_cast<int>(rate);
    layout.channels = static_cast<int>(channels);
    layout.frameBytes = layout.channels * BytesPerSample(layout.coding);
    layout.dataOffset = offset;
    layout.frames = dataBytes / static_cast<std::uint64_t>(layout.frameBytes);
    return MakeSource<PcmFileSource>(std::move(file), layout);
}

}  // namespace sonaro
