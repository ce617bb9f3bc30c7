#include "formats/format_arguments.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "audio/audio_samples.h"
#include "formats/output_writer.h"

namespace sonaro {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <typename T>
T saturate(unsigned long value) {
    return static_cast<T>(std::min<unsigned long>(value, std::numeric_limits<T>::max()));
}

// Reads the option words in slot order.
class SlotReader {
  public:
    SlotReader(const std::vector<std::string>& args, std::size_t& next)
        : m_args(args), m_next(next) {}

    // A value slot. False when the words ran out; `value` is set only when the option matched.
    bool pair(std::string_view option, std::optional<std::string_view>& value) {
        value.reset();
        if (m_next + 1 >= m_args.size()) {
            return false;
        }
        if (equalsIgnoringCase(m_args[m_next], option)) {
            value = m_args[m_next + 1];
        }
        m_next += 2;
        return true;
    }

    // An optional flag: used only when present.
    bool flag(std::string_view option) {
        if (m_next < m_args.size() && equalsIgnoringCase(m_args[m_next], option)) {
            ++m_next;
            return true;
        }
        return false;
    }

  private:
    const std::vector<std::string>& m_args;
    std::size_t& m_next;
};

unsigned long numberOr(const std::optional<std::string_view>& value, unsigned long fallback) {
    return value ? ParseLeadingDigits(*value) : fallback;
}

// 0 (or no value) records at the format's default rate.
bool acceptableRate(unsigned long rate) {
    return rate == 0 || IsSupportedSampleRate(static_cast<long long>(std::min(rate, 1UL << 40)));
}

// "-m" followed by s, j, f or m; any other letter keeps the mode.
bool readChannelMode(SlotReader& reader, Mp3Settings& mp3) {
    static constexpr std::string_view kLetters[] = {"s", "j", "f", "m"};
    std::optional<std::string_view> value;
    if (!reader.pair("-m", value)) {
        return false;
    }
    for (std::uint8_t mode = 0; value && mode < 4; ++mode) {
        if (equalsIgnoringCase(*value, kLetters[mode])) {
            mp3.channelMode = mode;
        }
    }
    return true;
}

bool readConstantRate(SlotReader& reader, Mp3Settings& mp3) {
    std::optional<std::string_view> value;
    mp3.constantBitRate = true;
    if (!reader.pair("-b", value)) {
        return false;
    }
    mp3.cbrBitRate = saturate<std::uint16_t>(numberOr(value, mp3.cbrBitRate));
    if (reader.flag("-h")) {
        mp3.highQuality = true;
    }
    if (!readChannelMode(reader, mp3)) {
        return false;
    }
    mp3.errorProtection = reader.flag("-p");
    return true;
}

bool readVariableRate(SlotReader& reader, Mp3Settings& mp3) {
    std::optional<std::string_view> minimum;
    std::optional<std::string_view> maximum;
    std::optional<std::string_view> quality;
    mp3.constantBitRate = false;
    if (!reader.pair("-b", minimum) || !reader.pair("-B", maximum) || !reader.pair("-q", quality)) {
        return false;
    }
    mp3.vbrMinBitRate = saturate<std::uint16_t>(numberOr(minimum, mp3.vbrMinBitRate));
    mp3.vbrMaxBitRate = saturate<std::uint16_t>(numberOr(maximum, mp3.vbrMaxBitRate));
    mp3.vbrQuality = saturate<std::uint8_t>(numberOr(quality, mp3.vbrQuality));
    if (!readChannelMode(reader, mp3)) {
        return false;
    }
    mp3.errorProtection = reader.flag("-p");
    return true;
}

FormatArgumentsResult applyMp3(FormatSettings& settings, SlotReader& reader) {
    Mp3Settings mp3 = settings.LoadMp3Settings();
    bool given = false;
    if (reader.flag("-cbr")) {
        if (!readConstantRate(reader, mp3)) {
            return FormatArgumentsResult::Incomplete;
        }
        given = true;
    }
    if (reader.flag("-vbr")) {
        if (!readVariableRate(reader, mp3)) {
            return FormatArgumentsResult::Incomplete;
        }
        given = true;
    }
    if (!given) {
        return FormatArgumentsResult::Incomplete;
    }
    settings.SaveMp3Settings(mp3);
    return FormatArgumentsResult::Applied;
}

FormatArgumentsResult applyWav(FormatSettings& settings, SlotReader& reader) {
    std::optional<std::string_view> rate;
    std::optional<std::string_view> channels;
    std::optional<std::string_view> bits;
    if (!reader.pair("-s", rate) || !reader.pair("-m", channels) || !reader.pair("-b", bits)) {
        return FormatArgumentsResult::Incomplete;
    }
    if (!acceptableRate(numberOr(rate, 0))) {
        return FormatArgumentsResult::RateRefused;
    }
    const WaveFormat format = MakePcmWaveFormat(saturate<std::uint32_t>(numberOr(rate, 0)),
                                                saturate<std::uint16_t>(numberOr(channels, 0)),
                                                saturate<std::uint16_t>(numberOr(bits, 0)));
    return settings.SaveWavFormat(format) ? FormatArgumentsResult::Applied
                                          : FormatArgumentsResult::SaveFailed;
}

FormatArgumentsResult applyAiff(FormatSettings& settings, SlotReader& reader) {
    std::optional<std::string_view> rate;
    std::optional<std::string_view> channels;
    if (!reader.pair("-s", rate) || !reader.pair("-m", channels)) {
        return FormatArgumentsResult::Incomplete;
    }
    if (!acceptableRate(numberOr(rate, 0))) {
        return FormatArgumentsResult::RateRefused;
    }
    AiffSettings aiff = settings.LoadAiffSettings();
    aiff.sampleRate = saturate<std::int32_t>(numberOr(rate, 0));
    aiff.channels = saturate<std::uint8_t>(numberOr(channels, 0));
    settings.SaveAiffSettings(aiff);
    return FormatArgumentsResult::Applied;
}

// "-s <rate> -m <channels> -b <bits>", as for WAV; zeros record with the defaults.
FormatArgumentsResult applyFlac(FormatSettings& settings, SlotReader& reader) {
    std::optional<std::string_view> rate;
    std::optional<std::string_view> channels;
    std::optional<std::string_view> bits;
    if (!reader.pair("-s", rate) || !reader.pair("-m", channels) || !reader.pair("-b", bits)) {
        return FormatArgumentsResult::Incomplete;
    }
    if (!acceptableRate(numberOr(rate, 0))) {
        return FormatArgumentsResult::RateRefused;
    }
    FlacSettings flac = settings.LoadFlacSettings();
    flac.sampleRate = saturate<std::int32_t>(numberOr(rate, 0));
    flac.channels = saturate<std::uint8_t>(numberOr(channels, 0));
    flac.bitsPerSample = saturate<std::uint8_t>(numberOr(bits, 0));
    settings.SaveFlacSettings(UsableFlacSettings(flac));
    return FormatArgumentsResult::Applied;
}

// "-b <kbit/s> -m <channels>"; a value of 0 or one not given keeps the stored one.
FormatArgumentsResult applyOpus(FormatSettings& settings, SlotReader& reader) {
    std::optional<std::string_view> bitRate;
    std::optional<std::string_view> channels;
    if (!reader.pair("-b", bitRate) || !reader.pair("-m", channels)) {
        return FormatArgumentsResult::Incomplete;
    }
    OpusSettings opus = settings.LoadOpusSettings();
    if (const unsigned long kbps = numberOr(bitRate, 0); kbps > 0) {
        opus.bitRate = static_cast<int>(std::clamp<unsigned long>(kbps, 6, 510));
    }
    if (const unsigned long count = numberOr(channels, 0); count > 0) {
        opus.channels = count == 1 ? 1 : 2;
    }
    settings.SaveOpusSettings(opus);
    return FormatArgumentsResult::Applied;
}

}  // namespace

unsigned long ParseLeadingDigits(std::string_view text) {
    unsigned long value = 0;
    constexpr unsigned long kMax = std::numeric_limits<unsigned long>::max();
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const auto digit = static_cast<unsigned long>(c - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

std::optional<OutputFormat> FormatFromWord(std::string_view word) {
    if (equalsIgnoringCase(word, "wav")) {
        return OutputFormat::Wav;
    }
    if (equalsIgnoringCase(word, "mp3")) {
        return OutputFormat::Mp3;
    }
    if (equalsIgnoringCase(word, "aif") || equalsIgnoringCase(word, "aiff")) {
        return OutputFormat::Aiff;
    }
    if (equalsIgnoringCase(word, "flac")) {
        return OutputFormat::Flac;
    }
    if (equalsIgnoringCase(word, "opus")) {
        return OutputFormat::Opus;
    }
    return std::nullopt;
}

std::optional<OutputFormat> FormatFromPath(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    return FormatFromWord(path.substr(dot + 1));
}

FormatArgumentsResult ApplyFormatArguments(FormatSettings& settings, OutputFormat format,
                                           const std::vector<std::string>& args,
                                           std::size_t& next) {
    std::size_t position = next;
    SlotReader reader(args, position);
    FormatArgumentsResult result = FormatArgumentsResult::Incomplete;
    switch (format) {
        case OutputFormat::Wav:
            result = applyWav(settings, reader);
            break;
        case OutputFormat::Mp3:
            result = applyMp3(settings, reader);
            break;
        case OutputFormat::Aiff:
            result = applyAiff(settings, reader);
            break;
        case OutputFormat::Flac:
            result = applyFlac(settings, reader);
            break;
        case OutputFormat::Opus:
            result = applyOpus(settings, reader);
            break;
    }
    if (result != FormatArgumentsResult::Incomplete) {
        next = position;
    }
    return result;
}

}  // namespace sonaro
