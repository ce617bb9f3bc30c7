#include "recordings/recording_scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "formats/audio_file_opener.h"
#include "support/audio_files.h"
#include "support/file_permissions.h"
#include "support/manual_dispatcher.h"
#include "support/recording_maker.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

// What a scan reported, in order.
class ScanLog final : public RecordingScanListener {
  public:
    void OnRecordingsFound(std::vector<RecordingItem> found) override {
        EXPECT_FALSE(found.empty());
        for (RecordingItem& item : found) {
            items.push_back(std::move(item));
        }
    }
    void OnScanProgress(int done, int total) override {
        EXPECT_LE(done, total);
        lastDone = done;
        lastTotal = total;
    }
    void OnScanFinished() override { ++finished; }

    std::string names() const {
        std::string result;
        for (const RecordingItem& item : items) {
            result += (result.empty() ? "" : " ") + item.name() + item.format();
        }
        return result;
    }

    std::vector<RecordingItem> items;
    int lastDone = -1;
    int lastTotal = -1;
    int finished = 0;
};

class RecordingScannerTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // A recording of silence made by the program's writer for the extension.
    void Record(const std::string& name, double seconds) {
        ASSERT_TRUE(m_recordings.Make(path(name), seconds)) << name;
    }

    ScanLog Scan(const RecordingFilter& filter = {}) { return ScanWith(m_lengths, filter); }
    ScanLog ScanWith(RecordingLengthCache& lengths, const RecordingFilter& filter = {}) {
        RecordingScanner scanner(m_dispatcher, lengths);
        ScanLog log;
        scanner.Scan(m_dir, filter, &log);
        EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return log.finished > 0; }));
        m_dispatcher.pump();
        EXPECT_EQ(log.finished, 1);
        EXPECT_EQ(log.lastDone, log.lastTotal);
        return log;
    }

    test::TempDir m_dir{"sonaro-recordings"};
    test::RecordingMaker m_recordings;
    test::ManualDispatcher m_dispatcher;
    std::atomic<int> m_reads{0};
    std::atomic<int> m_mp3Reads{0};
    RecordingLengthCache m_lengths{[this](const std::string& file) {
        ++m_reads;
        m_mp3Reads += LowerExtension(file) == ".mp3" ? 1 : 0;
        return ReadRecordingLengthMs(file);
    }};
};

TEST_F(RecordingScannerTest, ListsEachFormatInOrderWithItsTexts) {
    ASSERT_TRUE(m_recordings.hasMp3Encoder()) << "lame is needed for MP3 recordings";
    const std::time_t before = std::time(nullptr);
    Record("a.b.wav", 2.5);
    Record("tone.mp3", 3.2);
    Record("c.aiff", 1);
    Record("D.AIF", 61.5);
    Record("b.wav", 0.5);
    Record("e.flac", 1.5);
    const std::time_t after = std::time(nullptr);
    test::WriteTextFile(path("notes.txt"), "not a recording");
    ASSERT_EQ(mkdir(path("folder.wav").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(path("sub").c_str(), 0700), 0);
    Record("sub/inner.wav", 1);

    const ScanLog log = Scan();
    EXPECT_EQ(log.names(), "a.b.wav b.wav tone.mp3 c.aiff D.AIF e.flac");
    EXPECT_EQ(log.lastTotal, 6);
    ASSERT_EQ(log.items.size(), 6u);
    const RecordingItem& wav = log.items[0];
    EXPECT_EQ(wav.lengthMs, 2500);
    EXPECT_EQ(wav.size, 40046u);
    EXPECT_EQ(wav.text(RecordingColumn::Name), "a.b");
    EXPECT_EQ(wav.text(RecordingColumn::Duration), "0:00:02");
    EXPECT_EQ(wav.text(RecordingColumn::Format), ".wav");
    EXPECT_EQ(wav.text(RecordingColumn::Size), "0.038 MB");
    EXPECT_EQ(log.items[2].lengthMs, 3200) << "the LAME tag's delay and padding are removed";
    EXPECT_EQ(log.items[2].text(RecordingColumn::Duration), "0:00:03");
    EXPECT_EQ(log.items[3].lengthMs, 1000);
    EXPECT_EQ(log.items[4].text(RecordingColumn::Duration), "0:01:01");
    EXPECT_EQ(log.items[4].text(RecordingColumn::Format), ".AIF");
    EXPECT_EQ(log.items[5].lengthMs, 1500);
    for (const RecordingItem& item : log.items) {
        // Birth time or modification time: either is when the writer made the file.
        EXPECT_GE(item.created, before);
        EXPECT_LE(item.created, after);
        EXPECT_EQ(item.text(RecordingColumn::DateCreated), DateText(item.created));
        EXPECT_EQ(item.text(RecordingColumn::DateCreated).size(), 19u);
    }
}

TEST_F(RecordingScannerTest, FiltersApplyWhileScanning) {
    Record("short.wav", 60.9);
    Record("long.wav", 61);
    RecordingFilter filter;
    filter.durationMode = DurationMode::AtMost;
    filter.minutes = 1;
    EXPECT_EQ(Scan(filter).names(), "short.wav");
    filter.durationMode = DurationMode::AtLeast;
    filter.seconds = 1;
    EXPECT_EQ(Scan(filter).names(), "long.wav");

    const ScanLog all = Scan();
    ASSERT_EQ(all.items.size(), 2u);
    std::tm day{};
    localtime_r(&all.items[0].created, &day);
    filter = RecordingFilter();
    filter.periodOn = true;
    filter.from = filter.to = {day.tm_year + 1900, day.tm_mon + 1, day.tm_mday};
    filter.textOn = true;
    filter.textColumn = RecordingColumn::Name;
    filter.text = "lo";
    EXPECT_EQ(Scan(filter).names(), "long.wav");
    filter.from.year -= 1;
    filter.to.year -= 1;
    EXPECT_EQ(Scan(filter).names(), "");

    m_dir += "/missing";
    const ScanLog none = Scan();
    EXPECT_EQ(none.lastTotal, 0);
    EXPECT_TRUE(none.items.empty());
}

TEST_F(RecordingScannerTest, FilesThatCouldBlockAReaderDoNotHoldUpTheScan) {
    Record("link target.wav", 1);
    ASSERT_EQ(rename(path("link target.wav").c_str(), path("target.dat").c_str()), 0);
    ASSERT_EQ(symlink(path("target.dat").c_str(), path("link.wav").c_str()), 0);
    ASSERT_EQ(mkfifo(path("pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", path("zero.mp3").c_str()), 0);
    for (const char* name : {"huge.wav", "huge.mp3", "huge.aif"}) {
        const int fd = open(path(name).c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 1LL << 40), 0) << "a sparse file of 1 TB";
        close(fd);
    }
    Record("tail.mp3", 1);
    ASSERT_EQ(truncate(path("tail.mp3").c_str(), 1LL << 40), 0) << "a recording, then zeros";
    Record("locked.wav", 1);
    ASSERT_EQ(chmod(path("locked.wav").c_str(), 0), 0);
    test::WriteTextFile(path("junk.aiff"), "not audio at all");

    const test::FilePermissionsEnforced permissions;
    const ScanLog log = Scan();
    EXPECT_EQ(
        log.names(),
        "huge.wav link.wav locked.wav pipe.wav huge.mp3 tail.mp3 zero.mp3 junk.aiff huge.aif");
    ASSERT_EQ(log.items.size(), 9u);
    EXPECT_EQ(log.items[0].text(RecordingColumn::Size), "1048576.000 MB");
    EXPECT_EQ(log.items[1].lengthMs, 1000);
    EXPECT_EQ(log.items[4].lengthMs, 0);
    EXPECT_EQ(log.items[5].lengthMs, 1000) << "the decoder gives up on the zeros";
    for (const std::size_t unreadable : {0, 2, 3, 4, 6, 7, 8}) {
        EXPECT_EQ(log.items[unreadable].text(RecordingColumn::Duration), "0:00:00")
            << log.items[unreadable].name();
    }
    EXPECT_EQ(log.items[3].text(RecordingColumn::Size), "0.000 MB") << "the FIFO";
    EXPECT_EQ(log.items[6].text(RecordingColumn::Size), "0.000 MB") << "the device";
    EXPECT_EQ(m_reads, 7) << "the FIFO and the device are never opened";
}

TEST_F(RecordingScannerTest, Mp3LengthsAreMeasuredOnceUntilTheFileChanges) {
    ASSERT_TRUE(m_recordings.hasMp3Encoder());
    Record("one.mp3", 1);
    Record("two.mp3", 2);
    Record("three.wav", 3);
    const ScanLog first = Scan();
    const ScanLog second = Scan();
    EXPECT_EQ(m_mp3Reads, 2);
    EXPECT_EQ(m_reads, 4) << "WAV headers are read at every scan";
    EXPECT_EQ(m_lengths.size(), 2u);
    ASSERT_EQ(second.items.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(first.items[i].lengthMs, second.items[i].lengthMs);
    }
    EXPECT_EQ(second.items[1].lengthMs, 1000);

    const timespec times[2] = {{0, UTIME_OMIT}, {1236038399, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path("two.mp3").c_str(), times, 0), 0);
    EXPECT_EQ(Scan().items[2].lengthMs, 2000);
    EXPECT_EQ(m_mp3Reads, 3);
}

// The MP3 lengths outlive the cache object through its file, and a damaged file costs only the
// lines it damaged.
TEST_F(RecordingScannerTest, Mp3LengthsAreKeptInTheCacheFile) {
    ASSERT_TRUE(m_recordings.hasMp3Encoder());
    Record("one.mp3", 1);
    Record("two.mp3", 2);
    const test::TempDir data("sonaro-data");
    const std::string file = data + "/" + RecordingLengthCache::kFileName;
    std::atomic<int> reads{0};
    const auto counting = [&](const std::string& recording) {
        ++reads;
        return ReadRecordingLengthMs(recording);
    };
    const auto scanWith = [&](RecordingLengthCache& lengths) {
        const ScanLog log = ScanWith(lengths);
        return log.names() + " " + std::to_string(log.items.at(1).lengthMs);
    };
    {
        RecordingLengthCache lengths(counting, file);
        EXPECT_EQ(scanWith(lengths), "one.mp3 two.mp3 2000");
        EXPECT_TRUE(lengths.Save());
    }
    const std::string saved = test::ReadTextFile(file);
    {
        RecordingLengthCache restarted(counting, file);
        EXPECT_EQ(restarted.size(), 2u);
        EXPECT_EQ(scanWith(restarted), "one.mp3 two.mp3 2000");
        EXPECT_EQ(reads, 2) << "nothing decoded again after a restart";
    }

    const std::size_t secondLine = saved.find('\n', saved.find('\n') + 1);
    const struct {
        const char* what;
        std::string text;
        std::size_t kept;
    } damaged[] = {
        {"cut inside the last line", saved.substr(0, saved.size() - 3), 1},
        {"cut after the header", saved.substr(0, saved.find('\n') + 1), 0},
        {"a line of garbage",
         saved.substr(0, secondLine + 1) + "12 x 5 /a.mp3\n" + saved.substr(secondLine + 1), 2},
        {"another program's file",
         "\x7f"
         "ELF\x02\x01\x01" +
             saved,
         0},
        {"empty", "", 0},
    };
    for (const auto& each : damaged) {
        test::WriteTextFile(file, each.text);
        RecordingLengthCache lengths(counting, file);
        EXPECT_EQ(lengths.size(), each.kept) << each.what;
        const int before = reads;
        EXPECT_EQ(scanWith(lengths), "one.mp3 two.mp3 2000") << each.what;
        EXPECT_EQ(reads - before, static_cast<int>(2 - each.kept)) << each.what;
        EXPECT_TRUE(lengths.Save());
        EXPECT_EQ(test::ReadTextFile(file).size(), saved.size())
            << each.what << ": rewritten whole";
    }
    // A FIFO in the file's place is no cache, and is not waited on.
    ASSERT_EQ(unlink(file.c_str()), 0);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    RecordingLengthCache fifo(counting, file);
    EXPECT_EQ(fifo.size(), 0u);
}

TEST_F(RecordingScannerTest, CancelStopsBetweenFilesAndReportsNothingMore) {
    for (const char* name : {"1.wav", "2.wav", "3.wav", "4.wav"}) {
        test::WriteTextFile(path(name), name);
    }
    Event entered;
    Event release;
    std::atomic<int> calls{0};
    RecordingLengthCache slow([&](const std::string&) {
        ++calls;
        entered.set();
        release.wait(10000);
        return std::int64_t{1000};
    });
    RecordingScanner scanner(m_dispatcher, slow);
    ScanLog log;
    scanner.Scan(m_dir, {}, &log);
    ASSERT_TRUE(entered.wait(10000));
    // The worker is inside the first file: let it go once the stop was asked for.
    std::thread releaser([&] {
        scanner.stopEvent().wait(10000);
        release.set();
    });
    scanner.Cancel();
    releaser.join();
    EXPECT_FALSE(scanner.IsRunning());
    EXPECT_EQ(calls, 1);
    m_dispatcher.pump();
    EXPECT_TRUE(log.items.empty());
    EXPECT_EQ(log.finished, 0);

    scanner.Scan(m_dir, {}, &log);
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return log.finished > 0; }));
    EXPECT_EQ(log.names(), "1.wav 2.wav 3.wav 4.wav");
    EXPECT_EQ(calls, 5);
}

}  // namespace
}  // namespace sonaro
