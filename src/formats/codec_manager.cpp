#include "formats/codec_manager.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "formats/block_coder.h"
#include "formats/byte_order.h"
#include "formats/ima_adpcm.h"
#include "formats/ms_adpcm.h"

namespace sonaro {
namespace {

struct DriverEntry {
    int driverId;
    std::uint16_t productId;
    const char* shortName;
    const char* longName;
    std::array<std::uint16_t, 2> tags;  // 0: unused slot
};

struct TagEntry {
    std::uint16_t tag;
    const char* name;
    std::uint16_t bits;
};

constexpr std::array<DriverEntry, 3> kDrivers = {{
    {1, 1, "G.711", "Sonaro CCITT G.711 A-Law and u-Law codec", {6, 7}},
    {2, 2, "IMA ADPCM", "Sonaro IMA ADPCM codec", {0x11, 0}},
    {3, 3, "MS-ADPCM", "Sonaro Microsoft ADPCM codec", {2, 0}},
}};

constexpr std::array<TagEntry, 4> kTags = {{
    {6, "CCITT A-Law", 8},
    {7, "CCITT u-Law", 8},
    {0x11, "IMA ADPCM", 4},
    {2, "Microsoft ADPCM", 4},
}};

constexpr std::array<std::uint32_t, 7> kRates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

const DriverEntry* findDriver(int driverId) {
    for (const DriverEntry& driver : kDrivers) {
        if (driver.driverId == driverId) {
            return &driver;
        }
    }
    return nullptr;
}

const TagEntry* findTag(std::uint16_t tag) {
    for (const TagEntry& entry : kTags) {
        if (entry.tag == tag) {
            return &entry;
        }
    }
    return nullptr;
}

bool offers(const DriverEntry& driver, std::uint16_t tag) {
    return tag != 0 && std::find(driver.tags.begin(), driver.tags.end(), tag) != driver.tags.end();
}

// ADPCM blocks of 256 bytes per channel at 11025 Hz and below, doubling with the rate, so that
// one block lasts about 23 ms at any rate.
int adpcmBlockAlign(std::uint32_t rate, int channels) {
    const int scale = static_cast<int>(std::clamp<std::uint32_t>(rate / 11025, 1, 4));
    return 256 * channels * (scale == 3 ? 2 : scale);
}

WaveFormat standardFormat(const TagEntry& tag, std::uint32_t rate, int channels) {
    WaveFormat format;
    format.formatTag = tag.tag;
    format.channels = static_cast<std::uint16_t>(channels);
    format.samplesPerSec = rate;
    format.bitsPerSample = tag.bits;
    int samplesPerBlock = 1;
    format.blockAlign = static_cast<std::uint16_t>(channels);
    if (tag.tag == 0x11 || tag.tag == 2) {
        format.blockAlign = static_cast<std::uint16_t>(adpcmBlockAlign(rate, channels));
        if (tag.tag == 0x11) {
            samplesPerBlock = ImaAdpcmSamplesPerBlock(format.blockAlign, channels);
            format.extra.resize(2);
            PutLe16(format.extra.data(), static_cast<std::uint32_t>(samplesPerBlock));
        } else {
            samplesPerBlock = MsAdpcmSamplesPerBlock(format.blockAlign, channels);
            format.extra.resize(kMsAdpcmExtraByteCount);
            MsAdpcmExtraBytes(samplesPerBlock, format.extra.data());
        }
    }
    format.avgBytesPerSec = static_cast<std::uint32_t>(static_cast<std::uint64_t>(rate) *
                                                       format.blockAlign / samplesPerBlock);
    return format;
}

std::string describe(const WaveFormat& format) {
    char text[96];
    std::snprintf(text, sizeof text, "%u Hz, %u Bit, %s, %u Bytes/s", format.samplesPerSec,
                  static_cast<unsigned>(format.bitsPerSample),
                  format.channels == 1 ? "Mono" : "Stereo", format.avgBytesPerSec);
    return text;
}

bool isPcm16(const WaveFormat& format) {
    return format.formatTag == WaveFormat::kPcmTag && format.bitsPerSample == 16 &&
           format.blockAlign == 2 * format.channels;
}

bool sameShape(const WaveFormat& a, const WaveFormat& b) {
    return a.channels == b.channels && a.samplesPerSec == b.samplesPerSec;
}

// Runs a block coder over whole blocks, and at the end over a last block padded with silence.
class BlockStream final : public CodecStream {
  public:
    explicit BlockStream(std::unique_ptr<BlockCoder> coder)
        : m_coder(std::move(coder)), m_padded(m_coder->inputBytes()) {}

    std::size_t DestinationSize(std::size_t sourceBytes) const override {
        const std::size_t blocks =
            (sourceBytes + m_coder->inputBytes() - 1) / m_coder->inputBytes();
        return blocks * m_coder->outputBytes();
    }

    void Convert(StreamHeader& header, ConvertMode mode) override {
        const std::size_t in = m_coder->inputBytes();
        const std::size_t out = m_coder->outputBytes();
        const std::size_t blocks =
            std::min(header.sourceLength / in, header.destinationLength / out);
        m_coder->CodeBlocks(header.source, header.destination, blocks);
        header.sourceUsed = blocks * in;
        header.destinationUsed = blocks * out;
        if (mode != ConvertMode::End) {
            return;
        }
        const std::size_t rest = header.sourceLength - header.sourceUsed;
        if (rest > 0 && rest < in && header.destinationLength - header.destinationUsed >= out) {
            std::fill(std::copy_n(header.source + header.sourceUsed, rest, m_padded.begin()),
                      m_padded.end(), std::uint8_t{0});
            m_coder->CodeBlocks(m_padded.data(), header.destination + header.destinationUsed, 1);
            header.sourceUsed += rest;
            header.destinationUsed += out;
        }
        m_coder->Restart();
    }

  private:
    std::unique_ptr<BlockCoder> m_coder;
    std::vector<std::uint8_t> m_padded;
};

}  // namespace

std::vector<CodecDriverDetails> CodecManager::Drivers() const {
    std::vector<CodecDriverDetails> result;
    for (const DriverEntry& driver : kDrivers) {
        result.push_back({driver.driverId, kManufacturerId, driver.productId, driver.shortName,
                          driver.longName});
    }
    return result;
}

std::vector<CodecFormatTagDetails> CodecManager::FormatTags(int driverId) const {
    std::vector<CodecFormatTagDetails> result;
    const DriverEntry* driver = findDriver(driverId);
    for (const TagEntry& tag : kTags) {
        if (driver != nullptr && offers(*driver, tag.tag)) {
            result.push_back({tag.tag, tag.name, kRates.size() * 2});
        }
    }
    return result;
}

std::vector<CodecFormatDetails> CodecManager::Formats(int driverId, std::uint16_t formatTag) const {
    std::vector<CodecFormatDetails> result;
    const DriverEntry* driver = findDriver(driverId);
    const TagEntry* tag = findTag(formatTag);
    if (driver == nullptr || tag == nullptr || !offers(*driver, formatTag)) {
        return result;
    }
    for (const std::uint32_t rate : kRates) {
        for (const int channels : {1, 2}) {
            WaveFormat format = standardFormat(*tag, rate, channels);
            format.manufacturerId = kManufacturerId;
            format.productId = driver->productId;
            std::string description = describe(format);
            result.push_back({std::move(format), std::move(description)});
        }
    }
    return result;
}

std::unique_ptr<CodecStream> CodecManager::OpenStream(const WaveFormat& source,
                                                      const WaveFormat& target) const {
    if (!sameShape(source, target)) {
        return nullptr;
    }
    std::unique_ptr<BlockCoder> coder;
    if (isPcm16(source)) {
        coder = MakeBlockEncoder(target);
    } else if (isPcm16(target)) {
        coder = MakeBlockDecoder(source);
    }
    return coder != nullptr ? std::make_unique<BlockStream>(std::move(coder)) : nullptr;
}

}  // namespace sonaro
