#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/codec_manager.h"
#include "formats/wave_format.h"

namespace sonaro {

enum class WavCodecKind { Pcm, Gsm, Driver };

// One codec of the WAV chooser: uncompressed PCM, the built-in GSM encoder, or a format tag of a
// codec-manager driver.
struct WavCodecEntry {
    std::string name;
    WavCodecKind kind = WavCodecKind::Pcm;
    int driverId = 0;
    std::uint16_t formatTag = 0;
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
};

struct WavFormatChoice {
    WaveFormat format;
    std::string label;
};

struct WavListPosition {
    std::size_t codec = 0;
    std::size_t format = 0;

    bool operator==(const WavListPosition&) const = default;
};

// The codec list of the WAV chooser, built when the chooser opens: entry 0 "PCM Uncompressed"
// with 88 formats, entry 1 "GSM6.10 Native" with 8000 and 11025 Hz, then one entry per format tag
// of every codec-manager driver, in enumeration order (PCM and tags without formats left out).
class WavCodecList {
  public:
    static constexpr std::size_t kPcmFormatCount = 88;

    explicit WavCodecList(const CodecManager& codecs);

    const std::vector<WavCodecEntry>& entries() const { return m_entries; }
    // The formats of entry `codec`, in list order; empty for an index out of range.
    std::vector<WavFormatChoice> Formats(std::size_t codec) const;
    // Where a stored format sits in the lists, to preselect it. A compressed format of no listed
    // codec gives the first entry's first format.
    WavListPosition FindPosition(const WaveFormat& stored) const;

  private:
    const CodecManager& m_codecs;
    std::vector<WavCodecEntry> m_entries;
};

// PCM format `index` (0 to 87) of the list: bits (16, 8, 24, 32)[index % 4], stereo when bit 2
// is set, rate (6000 ... 96000)[index / 8].
WavFormatChoice PcmListFormat(std::size_t index);

}  // namespace sonaro
