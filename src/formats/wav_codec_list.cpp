#include "formats/wav_codec_list.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "formats/byte_order.h"
#include "formats/gsm_codec.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kGsmTag = 0x31;
constexpr std::size_t kMaxMatchedFormats = 500;
constexpr std::array<std::uint16_t, 4> kPcmBits = {16, 8, 24, 32};
constexpr std::array<std::uint32_t, 11> kPcmRates = {6000,  8000,  11025, 16000, 22050, 32000,
                                                     44100, 48000, 64000, 88200, 96000};
constexpr std::array<std::uint32_t, 2> kGsmRates = {8000, 11025};

// The GSM format's average bytes per second as the list stores it.
std::uint32_t gsmAverageBytes(std::uint32_t rate) {
    constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 6> kTable = {
        {{8000, 1625}, {11025, 2239}, {16000, 3250}, {22050, 4478}, {32000, 6500}, {44100, 8957}}};
    for (const auto& [listed, bytes] : kTable) {
        if (listed == rate) {
            return bytes;
        }
    }
    return 1625;
}

WavFormatChoice gsmListFormat(std::uint32_t rate) {
    WavFormatChoice choice;
    WaveFormat& format = choice.format;
    format.formatTag = kGsmTag;
    format.channels = 1;
    format.samplesPerSec = rate;
    format.avgBytesPerSec = gsmAverageBytes(rate);
    format.blockAlign = GsmCodec::kBytesPerBlock;
    format.bitsPerSample = 0;
    format.extra.resize(2);
    PutLe16(format.extra.data(), GsmCodec::kSamplesPerBlock);
    choice.label = std::to_string(rate) + "Hz Mono";
    return choice;
}

std::size_t pcmPosition(const WaveFormat& stored) {
    std::size_t k = 0;
    while (k + 1 < kPcmRates.size() && kPcmRates[k] < stored.samplesPerSec) {
        ++k;
    }
    const std::size_t stereo = stored.channels == 2 ? 1 : 0;
    std::size_t bits = 0;
    if (stored.bitsPerSample == 8)
        bits = 1;
    else if (stored.bitsPerSample == 24)
        bits = 2;
    else if (stored.bitsPerSample == 32)
        bits = 3;
    return (2 * k + stereo) * 4 + bits;
}

}  // namespace

WavFormatChoice PcmListFormat(std::size_t index) {
    const std::uint16_t bits = kPcmBits[index % 4];
    const std::uint16_t channels = (index & 4) != 0 ? 2 : 1;
    const std::uint32_t rate = kPcmRates[std::min(index / 8, kPcmRates.size() - 1)];
    char label[64];
    std::snprintf(label, sizeof label, "%u Hz, %u Bits, %s", rate, static_cast<unsigned>(bits),
                  channels == 2 ? "Stereo" : "Mono");
    return {MakePcmWaveFormat(rate, channels, bits), label};
}

WavCodecList::WavCodecList(const CodecManager& codecs) : m_codecs(codecs) {
    m_entries.push_back({"PCM Uncompressed", WavCodecKind::Pcm, 0, WaveFormat::kPcmTag, 0, 0});
    m_entries.push_back({"GSM6.10 Native", WavCodecKind::Gsm, 0, kGsmTag, 0, 0});
    for (const CodecDriverDetails& driver : codecs.Drivers()) {
        for (const CodecFormatTagDetails& tag : codecs.FormatTags(driver.driverId)) {
            if (tag.formatTag == WaveFormat::kPcmTag || tag.standardFormats == 0) {
                continue;
            }
            m_entries.push_back({tag.name, WavCodecKind::Driver, driver.driverId, tag.formatTag,
                                 driver.manufacturerId, driver.productId});
        }
    }
}

std::vector<WavFormatChoice> WavCodecList::Formats(std::size_t codec) const {
    std::vector<WavFormatChoice> result;
    if (codec >= m_entries.size()) {
        return result;
    }
    const WavCodecEntry& entry = m_entries[codec];
    switch (entry.kind) {
        case WavCodecKind::Pcm:
            for (std::size_t i = 0; i < kPcmFormatCount; ++i) {
                result.push_back(PcmListFormat(i));
            }
            break;
        case WavCodecKind::Gsm:
            for (const std::uint32_t rate : kGsmRates) {
                result.push_back(gsmListFormat(rate));
            }
            break;
        case WavCodecKind::Driver:
            for (CodecFormatDetails& details : m_codecs.Formats(entry.driverId, entry.formatTag)) {
                result.push_back({std::move(details.format), std::move(details.description)});
            }
            break;
    }
    return result;
}

WavListPosition WavCodecList::FindPosition(const WaveFormat& stored) const {
    if (stored.formatTag == WaveFormat::kPcmTag) {
        return {0, pcmPosition(stored)};
    }
    if (stored.formatTag == kGsmTag) {
        return {1, stored.samplesPerSec == 8000 ? 0u : 1u};
    }
    for (std::size_t codec = 2; codec < m_entries.size(); ++codec) {
        const WavCodecEntry& entry = m_entries[codec];
        if (entry.formatTag != stored.formatTag || entry.manufacturerId != stored.manufacturerId ||
            entry.productId != stored.productId) {
            continue;
        }
        const auto formats = Formats(codec);
        const std::size_t count = std::min(formats.size(), kMaxMatchedFormats);
        for (std::size_t i = 0; i < count; ++i) {
            const WaveFormat& f = formats[i].format;
            if (f.samplesPerSec == stored.samplesPerSec && f.channels == stored.channels &&
                f.avgBytesPerSec == stored.avgBytesPerSec) {
                return {codec, i};
            }
        }
        return {codec, 0};
    }
    return {0, 0};
}

}  // namespace sonaro
