#include "formats/raw_reader.h"

#include "formats/block_file_source.h"
#include "formats/pcm_file_source.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr int kGsmRate = 8000;

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

SourceRef openBlocks(ReadOnlyFile file, std::unique_ptr<BlockDecoder> decoder, int rate) {
    if (decoder == nullptr) {
        return failed(SourceStatus::CodecMissing);
    }
    const std::uint64_t blocks = file.size() / static_cast<std::uint64_t>(decoder->blockBytes());
    const std::uint64_t frames = blocks * static_cast<std::uint64_t>(decoder->framesPerBlock());
    return MakeSource<BlockFileSource>(std::move(file), std::move(decoder), rate, 0, blocks,
                                       frames);
}

}  // namespace

RawFormat LoadRawFormat(const SettingsStore& settings, bool vox) {
    RawFormat format;
    format.sampleRate = settings.Read(vox ? setting::kVoxSampleRate : setting::kRawSampleRate);
    format.channels = settings.Read(vox ? setting::kVoxChannels : setting::kRawChannels);
    if (format.channels == 0) {
        format.channels = 1;
    }
    format.codec = settings.Read(vox ? setting::kVoxCodec : setting::kRawCodec);
    return format;
}

void SaveRawFormat(SettingsStore& settings, bool vox, const RawFormat& format) {
    settings.Write(vox ? setting::kVoxSampleRate : setting::kRawSampleRate, format.sampleRate);
    settings.Write(vox ? setting::kVoxChannels : setting::kRawChannels, format.channels);
    settings.Write(vox ? setting::kVoxCodec : setting::kRawCodec, format.codec);
}

std::optional<FieldComplaint> CheckRawFormat(const RawFormat& format) {
    if (format.sampleRate >= kMinRawSampleRate && format.sampleRate <= kMaxRawSampleRate) {
        return std::nullopt;
    }
    return Balloon(RawField::SampleRate, "Please select a sample rate between 6000 and 196000.",
                   "Sample Rate");
}

SourceRef OpenRawFile(const std::string& path, const RawFormat& format) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    if (format.sampleRate <= 0 || format.channels < 1 || format.channels > 255) {
        return failed(SourceStatus::Corrupt);
    }
    PcmLayout layout;
    switch (static_cast<RawCodec>(format.codec)) {
        case RawCodec::DialogicAdpcm:
            return openBlocks(std::move(file), MakeDialogicAdpcmDecoder(format.channels),
                              format.sampleRate);
        case RawCodec::MuLaw:
            layout.coding = SampleCoding::MuLaw;
            break;
        case RawCodec::ALaw:
            layout.coding = SampleCoding::ALaw;
            break;
        case RawCodec::Pcm16Le:
            layout.coding = SampleCoding::Signed16Le;
            break;
        case RawCodec::Unsigned8:
            layout.coding = SampleCoding::Unsigned8;
            break;
        case RawCodec::Signed8:
            layout.coding = SampleCoding::Signed8;
            break;
        case RawCodec::Pcm16Be:
            layout.coding = SampleCoding::Signed16Be;
            break;
        case RawCodec::Float32Le:
            layout.coding = SampleCoding::Float32Le;
            break;
        case RawCodec::Float32Be:
            layout.coding = SampleCoding::Float32Be;
            break;
        default:
            return failed(SourceStatus::NotSupported);
    }
    layout.rate = format.sampleRate;
    layout.channels = format.channels;
    layout.frameBytes = format.channels * BytesPerSample(layout.coding);
    layout.frames = file.size() / static_cast<std::uint64_t>(layout.frameBytes);
    return MakeSource<PcmFileSource>(std::move(file), layout);
}

SourceRef OpenGsmFile(const std::string& path) {
    ReadOnlyFile file;
    if (!file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    return openBlocks(std::move(file), MakeGsmFrameDecoder(), kGsmRate);
}

}  // namespace sonaro
