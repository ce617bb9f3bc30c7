#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_stream.h"
#include "formats/wave_format.h"

namespace sonaro {

// A compression driver: the unit that offers format tags and opens conversion streams.
struct CodecDriverDetails {
    int driverId = 0;
    std::uint16_t manufacturerId = 0;  // stored with a chosen format (wMid)
    std::uint16_t productId = 0;       // (wPid)
    std::string shortName;
    std::string longName;
};

struct CodecFormatTagDetails {
    std::uint16_t formatTag = 0;
    std::string name;
    std::size_t standardFormats = 0;
};

struct CodecFormatDetails {
    WaveFormat format;  // carries the driver's manufacturer and product identifiers
    std::string description;
};

// The program's audio compression manager: built-in drivers for G.711 mu-law (tag 7) and A-law
// (tag 6), IMA ADPCM (tag 0x11) and Microsoft ADPCM (tag 2), enumerated like installed drivers,
// and conversion streams between 16-bit PCM and their formats. Holds no state; any thread.
class CodecManager {
  public:
    // The manufacturer identifier of the built-in drivers, outside the range that stored formats
    // of other makers use.
    static constexpr std::uint16_t kManufacturerId = 0xFF00;

    std::vector<CodecDriverDetails> Drivers() const;
    // Empty for an unknown driver.
    std::vector<CodecFormatTagDetails> FormatTags(int driverId) const;
    // The standard formats the driver offers for `formatTag`, in a fixed order; empty for an
    // unknown driver or tag.
    std::vector<CodecFormatDetails> Formats(int driverId, std::uint16_t formatTag) const;

    // A stream from `source` to `target`: 16-bit PCM to a compressed format of the same rate and
    // channel count (encoding), or such a format to 16-bit PCM (decoding). Null when no driver
    // converts between the two.
    std::unique_ptr<CodecStream> OpenStream(const WaveFormat& source,
                                            const WaveFormat& target) const;
};

}  // namespace sonaro
