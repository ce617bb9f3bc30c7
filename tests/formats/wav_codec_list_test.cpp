// The WAV chooser's codec list and the preselection of a stored format.
#include <gtest/gtest.h>

#include "formats/byte_order.h"
#include "formats/wav_codec_list.h"

namespace sonaro {
namespace {

TEST(WavCodecList, PcmAndGsmEntriesComeFirstThenTheDriversTags) {
    const CodecManager codecs;
    const WavCodecList list(codecs);
    ASSERT_EQ(list.entries().size(), 2u + 4);
    EXPECT_EQ(list.entries()[0].name, "PCM Uncompressed");
    EXPECT_EQ(list.entries()[1].name, "GSM6.10 Native");
    EXPECT_EQ(list.Formats(0).size(), 88u);
    EXPECT_TRUE(list.Formats(6).empty());

    // Bits follow index mod 4 (16, 8, 24, 32): 12 is the 16-bit and 13 the 8-bit 8000 Hz stereo
    // format, which is also where the position lookup puts them.
    const auto pcm12 = PcmListFormat(12);
    EXPECT_EQ(pcm12.label, "8000 Hz, 16 Bits, Stereo");
    EXPECT_EQ(pcm12.format.blockAlign, 4);
    EXPECT_EQ(pcm12.format.avgBytesPerSec, 32000u);
    EXPECT_EQ(PcmListFormat(13).label, "8000 Hz, 8 Bits, Stereo");
    EXPECT_EQ(PcmListFormat(50).label, "44100 Hz, 24 Bits, Mono");
    const auto pcm87 = PcmListFormat(87);
    EXPECT_EQ(pcm87.label, "96000 Hz, 32 Bits, Stereo");

    const auto gsm = list.Formats(1);
    ASSERT_EQ(gsm.size(), 2u);
    EXPECT_EQ(gsm[0].label, "8000Hz Mono");
    EXPECT_EQ(gsm[1].label, "11025Hz Mono");
    EXPECT_EQ(gsm[1].format.avgBytesPerSec, 2239u);
    EXPECT_EQ(gsm[1].format.blockAlign, 65);
    ASSERT_EQ(gsm[1].format.extra.size(), 2u);
    EXPECT_EQ(GetLe16(gsm[1].format.extra.data()), 320);
}

TEST(WavCodecList, StoredFormatsFindTheirPositions) {
    const CodecManager codecs;
    const WavCodecList list(codecs);
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(44100, 1, 24)), (WavListPosition{0, 50}));
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(7000, 2, 16)), (WavListPosition{0, 12}));
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(4000, 1, 8)), (WavListPosition{0, 1}));
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(192000, 2, 32)), (WavListPosition{0, 87}));
    for (std::size_t i = 0; i < 88; ++i) {
        EXPECT_EQ(list.FindPosition(PcmListFormat(i).format), (WavListPosition{0, i}));
    }
    EXPECT_EQ(list.FindPosition(list.Formats(1)[1].format), (WavListPosition{1, 1}));

    // Every driver format finds itself; one of another maker finds no entry.
    for (std::size_t codec = 2; codec < list.entries().size(); ++codec) {
        const auto formats = list.Formats(codec);
        for (std::size_t i = 0; i < formats.size(); ++i) {
            EXPECT_EQ(list.FindPosition(formats[i].format), (WavListPosition{codec, i}));
        }
    }
    WaveFormat foreign = list.Formats(2)[3].format;
    foreign.manufacturerId = 1;
    EXPECT_EQ(list.FindPosition(foreign), (WavListPosition{0, 0}));
    WaveFormat oddRate = list.Formats(2)[3].format;
    oddRate.samplesPerSec = 12345;
    EXPECT_EQ(list.FindPosition(oddRate), (WavListPosition{2, 0}));
}

}  // namespace
}  // namespace sonaro
