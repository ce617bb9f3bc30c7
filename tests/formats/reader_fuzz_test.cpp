// A bounded-time mutation loop per parser, seeded from real files. Deterministic mutations
// (fixed seed); the time bound only decides how many run. Run under the sanitizers, any read
// outside a buffer, overflow or leak fails the test. SONARO_FUZZ_SECONDS sets the time per
// parser (default 3).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/aiff_reader.h"
#include "formats/aiff_writer.h"
#include "formats/au_reader.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/flac_reader.h"
#include "formats/flac_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_reader.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/raw_reader.h"
#include "formats/wav_reader.h"
#include "support/audio_files.h"
#include "support/source_reading.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Opener = std::function<SourceRef(const std::string&)>;

double secondsPerParser() {
    const char* text = std::getenv("SONARO_FUZZ_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 3.0;
    return seconds > 0 ? seconds : 3.0;
}

class Mutator {
  public:
    explicit Mutator(unsigned seed) : m_random(seed) {}

    Bytes mutate(const Bytes& seed) {
        Bytes bytes = seed;
        const int count = 1 + static_cast<int>(below(4));
        for (int i = 0; i < count; ++i) {
            mutateOnce(bytes);
        }
        return bytes;
    }

  private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : m_random() % n; }

    // Headers hold the fields worth breaking: half the mutations land in the first 128 bytes.
    std::size_t offset(const Bytes& bytes, std::size_t width) {
        if (bytes.size() < width) {
            return 0;
        }
        const std::size_t room = bytes.size() - width + 1;
        return below(2) == 0 ? below(std::min<std::size_t>(room, 128)) : below(room);
    }

    void mutateOnce(Bytes& bytes) {
        static constexpr std::uint32_t kInteresting32[] = {
            0, 1, 2, 8, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFD9};
        static constexpr std::uint16_t kInteresting16[] = {0,      1,      2,      0x7FFF,
                                                           0x8000, 0xFFFF, 0xFFFE, 65};
        switch (below(7)) {
            case 0:
                if (!bytes.empty()) {
                    bytes[below(bytes.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                }
                break;
            case 1:
                if (!bytes.empty()) {
                    bytes[offset(bytes, 1)] = static_cast<std::uint8_t>(m_random());
                }
                break;
            case 2:
                if (bytes.size() >= 4) {
                    const std::uint32_t value = kInteresting32[below(std::size(kInteresting32))];
                    const std::size_t at = offset(bytes, 4);
                    below(2) == 0 ? PutLe32(&bytes[at], value) : PutBe32(&bytes[at], value);
                }
                break;
            case 3:
                if (bytes.size() >= 2) {
                    const std::uint16_t value = kInteresting16[below(std::size(kInteresting16))];
                    const std::size_t at = offset(bytes, 2);
                    below(2) == 0 ? PutLe16(&bytes[at], value) : PutBe16(&bytes[at], value);
                }
                break;
            case 4:
                bytes.resize(below(bytes.size() + 1));
                break;
            case 5: {
                const std::size_t at = offset(bytes, 0);
                Bytes inserted(1 + below(16));
                for (auto& b : inserted) {
                    b = static_cast<std::uint8_t>(m_random());
                }
                bytes.insert(bytes.begin() + static_cast<long>(std::min(at, bytes.size())),
                             inserted.begin(), inserted.end());
                break;
            }
            default:
                if (bytes.size() > 8) {
                    // Copies a run over another place: chunk headers land where data was.
                    const std::size_t length =
                        1 + below(std::min<std::size_t>(bytes.size() / 2, 64));
                    const std::size_t from = below(bytes.size() - length);
                    const std::size_t to = below(bytes.size() - length);
                    std::memmove(&bytes[to], &bytes[from], length);
                }
                break;
        }
    }

    std::mt19937 m_random;
};

// Opens mutated copies of the seeds until the time is up; reads what opens, from the start and
// after a seek. Returns the number of inputs tried.
int fuzz(const std::vector<Bytes>& seeds, const std::string& path, const Opener& open,
         unsigned seed) {
    Mutator mutator(seed);
    std::mt19937 random(seed + 1);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsPerParser());
    int tried = 0;
    for (; std::chrono::steady_clock::now() < until; ++tried) {
        const Bytes input = mutator.mutate(seeds[static_cast<std::size_t>(tried) % seeds.size()]);
        test::WritePrefix(input, input.size(), path);
        SourceRef source = open(path);
        if (source->isUnusable()) {
            continue;
        }
        // Lengths are bounded by the file, so reading everything stays quick.
        EXPECT_LE(source->GetLength(), static_cast<std::int64_t>(input.size()) * 2048);
        test::ReadFrames(*source, std::min<std::int64_t>(source->GetLength() + 10, 200000), 1777);
        const std::int64_t length = std::max<std::int64_t>(source->GetLength(), 1);
        source->Seek(static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(length)));
        test::ReadFrames(*source, 500, 333);
    }
    return tried;
}

class ReaderFuzzTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // The bytes of `file` after 700 frames of a tone went to `sink`; `close`: after the sink
    // completed it, else as a recording in progress leaves it.
    static Bytes seed(SinkRef sink, const std::string& file, bool close = true) {
        const auto pcm = test::SineFrames(700, sink->channels(), 8000, 700.0, 9000.0);
        sink->Write(test::InternalOf(pcm).data(), 700);
        if (close) {
            sink.reset();
        }
        return test::ReadFileBytes(file);
    }

    void report(const char* parser, int tried) {
        RecordProperty(parser, tried);
        std::printf("%s: %d mutated inputs\n", parser, tried);
        EXPECT_GT(tried, 0);
    }

    const test::TempDir m_dir{"fuzz"};
    CodecManager m_codecs;
};

TEST_F(ReaderFuzzTest, WavParser) {
    std::vector<Bytes> seeds = {
        seed(MakeSink<PcmWavWriter>(path("p16.wav"), 8000, 2, PcmSampleType::Signed16),
             path("p16.wav")),
        seed(MakeSink<PcmWavWriter>(path("f32.wav"), 8000, 1, PcmSampleType::Float32),
             path("f32.wav")),
        seed(MakeSink<GsmWavWriter>(path("gsm.wav"), 8000), path("gsm.wav")),
        // The open-state headers of recordings in progress, which the reader follows as they grow.
        seed(MakeSink<PcmWavWriter>(path("live.wav"), 8000, 1, PcmSampleType::Signed16),
             path("live.wav"), false),
        seed(MakeSink<GsmWavWriter>(path("live_gsm.wav"), 8000), path("live_gsm.wav"), false)};
    for (const auto& [driver, tag] : {std::pair{1, 7}, {2, 0x11}, {3, 2}}) {
        const auto format = m_codecs.Formats(driver, static_cast<std::uint16_t>(tag))[1].format;
        const std::string file = path("c" + std::to_string(tag) + ".wav");
        seeds.push_back(seed(MakeSink<CompressedWavWriter>(file, format, m_codecs), file));
    }
    report("wav", fuzz(
                      seeds, path("m.wav"),
                      [&](const std::string& p) { return OpenWavFile(p, m_codecs); }, 1));
}

TEST_F(ReaderFuzzTest, AiffParser) {
    const std::vector<Bytes> seeds = {
        seed(MakeSink<AiffWriter>(path("a8.aiff"), 8000, 2, 8), path("a8.aiff")),
        seed(MakeSink<AiffWriter>(path("a16.aiff"), 8000, 2, 16), path("a16.aiff")),
        seed(MakeSink<AiffWriter>(path("live.aiff"), 8000, 2, 16), path("live.aiff"), false)};
    report("aiff", fuzz(seeds, path("m.aiff"), OpenAiffFile, 2));
}

TEST_F(ReaderFuzzTest, AuAndRawParsers) {
    Bytes au(24 + 600, 0x55);
    std::memcpy(au.data(), ".snd", 4);
    PutBe32(au.data() + 4, 24);
    PutBe32(au.data() + 8, 600);
    PutBe32(au.data() + 12, 3);
    PutBe32(au.data() + 16, 8000);
    PutBe32(au.data() + 20, 2);
    report("au", fuzz({au}, path("m.au"), OpenAuFile, 3));
    Bytes gsm(33 * 20, 0xD5);
    report("gsm", fuzz({gsm}, path("m.gsm"), OpenGsmFile, 4));
}

TEST_F(ReaderFuzzTest, FlacParser) {
    const std::vector<Bytes> seeds = {
        seed(MakeSink<FlacWriter>(path("f16.flac"), 8000, 2, 16, 5), path("f16.flac")),
        seed(MakeSink<FlacWriter>(path("f24.flac"), 8000, 1, 24, 0), path("f24.flac")),
        seed(MakeSink<FlacWriter>(path("live.flac"), 8000, 1, 16, 0), path("live.flac"), false)};
    report("flac", fuzz(seeds, path("m.flac"), OpenFlacFile, 6));
}

TEST_F(ReaderFuzzTest, Mp3Parser) {
    const Bytes mp3 =
        seed(CreateMp3Writer("lame", path("a.mp3"), Mp3Settings(), 8000, 2), path("a.mp3"));
    ASSERT_GT(mp3.size(), 100u) << "lame made the seed";
    report("mp3", fuzz({mp3}, path("m.mp3"), OpenMp3File, 5));
}

}  // namespace
}  // namespace sonaro
