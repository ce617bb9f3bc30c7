#include "support/program_log.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <fstream>
#include <numeric>

#include "support/fake_clock.h"
#include "support/open_file_with_retry.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class ProgramLogTest : public testing::Test {
  protected:
    std::string logFile(const char* day) const {
        return m_dir + "/data/Logs/" + day + " Sonaro Sound Recorder Log.txt";
    }

    const test::TempDir m_dir{"log"};
    test::FakeClock m_clock;
    ProgramLog m_log{m_dir + "/data/Logs", m_clock};
};

TEST_F(ProgramLogTest, LinesOfOneSecondShareTheStampAndMidnightStartsANewFile) {
    m_clock.setNow(test::UtcSeconds(2026, 12, 31, 23, 59, 59));
    m_log.Log("first");
    m_log.Log("Recording started: ", "/rec/a.wav");
    m_clock.setNow(test::UtcSeconds(2027, 1, 1, 0, 0, 0));
    m_log.LogFormat("found %d keywords", 3);

    EXPECT_EQ(test::ReadTextFile(logFile("2026-12-31")),
              "23:59:59 first\r\n23:59:59 Recording started: /rec/a.wav\r\n");
    EXPECT_EQ(test::ReadTextFile(logFile("2027-01-01")), "00:00:00 found 3 keywords\r\n");
}

TEST_F(ProgramLogTest, LongMessagesAreCutAtTheirBuffers) {
    m_log.Log(std::string(9000, 'x'));
    m_log.Log(std::string(1000, 'p'), std::string(1000, 's'));
    const std::string text = test::ReadTextFile(logFile("1970-01-01"));
    const std::size_t firstEnd = 8191;
    EXPECT_EQ(text.substr(0, 9), "00:00:00 ");
    EXPECT_EQ(text.substr(firstEnd, 9), "00:00:00 ");
    EXPECT_EQ(text.size() - firstEnd, 9u + 1023u + 2u);
}

TEST_F(ProgramLogTest, ALineIsLostWhenAnotherWriterHoldsTheFileThroughTheBudget) {
    m_log.Log("one");
    FileHandle other = OpenFileWithRetry(logFile("1970-01-01"), FileAccess::ReadWrite,
                                         FileShare::Read, FileDisposition::OpenExisting, 0);
    ASSERT_TRUE(other.valid());
    m_log.Log("lost while held for the whole budget");
    EXPECT_EQ(test::ReadTextFile(logFile("1970-01-01")), "00:00:00 one\r\n");
    EXPECT_LE(std::accumulate(m_clock.sleeps().begin(), m_clock.sleeps().end(), 0),
              ProgramLog::kOpenBudgetMs);
}

TEST(OpenFileWithRetry, PausesDoubleWithinTheBudget) {
    const test::TempDir dir("retry");
    const std::string path = dir + "/file";
    test::FakeClock clock;
    FileHandle holder = OpenFileWithRetry(path, FileAccess::ReadWrite, FileShare::None,
                                          FileDisposition::CreateNew, 0, clock);
    ASSERT_TRUE(holder.valid());
    FileHandle refused = OpenFileWithRetry(path, FileAccess::Read, FileShare::ReadWrite,
                                           FileDisposition::OpenExisting, 500, clock);
    EXPECT_FALSE(refused.valid());
    EXPECT_EQ(refused.error(), EWOULDBLOCK);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{2, 4, 8, 16, 32, 64, 128}));

    // A tiny budget still pauses at least once per millisecond instead of spinning.
    test::FakeClock small;
    EXPECT_FALSE(OpenFileWithRetry(path, FileAccess::Read, FileShare::Read,
                                   FileDisposition::OpenExisting, 3, small)
                     .valid());
    EXPECT_EQ(small.sleeps(), (std::vector<int>{1}));

    // Other errors are not retried.
    test::FakeClock missing;
    FileHandle absent = OpenFileWithRetry(dir + "/none", FileAccess::Read, FileShare::Read,
                                          FileDisposition::OpenExisting, 500, missing);
    EXPECT_EQ(absent.error(), ENOENT);
    EXPECT_TRUE(missing.sleeps().empty());
    holder.close();
}

// Sleeps by releasing the holder's lock after the second pause.
class ReleasingClock final : public Clock {
  public:
    explicit ReleasingClock(FileHandle& holder) : m_holder(holder) {}
    std::int64_t Now() const override { return 0; }
    std::tm LocalTime(std::int64_t) const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    void Sleep(int) const override {
        if (++m_pauses == 2) {
            m_holder.close();
        }
    }
    mutable int m_pauses = 0;

  private:
    FileHandle& m_holder;
};

TEST(OpenFileWithRetry, SharingModesMapToLocks) {
    const test::TempDir dir("share");
    const std::string path = dir + "/file";
    std::ofstream(path) << "keep";
    FileHandle reader1 = OpenFileWithRetry(path, FileAccess::Read, FileShare::Read,
                                           FileDisposition::OpenExisting, 0);
    FileHandle reader2 = OpenFileWithRetry(path, FileAccess::Read, FileShare::Read,
                                           FileDisposition::OpenExisting, 0);
    EXPECT_TRUE(reader1.valid() && reader2.valid());
    // A writer that shares only reading is refused while readers hold the file, and an
    // emptying open must not empty it before it owns it.
    EXPECT_FALSE(OpenFileWithRetry(path, FileAccess::Write, FileShare::Read,
                                   FileDisposition::CreateAlways, 0)
                     .valid());
    EXPECT_EQ(test::ReadTextFile(path), "keep");
    reader1.close();

    ReleasingClock clock(reader2);
    FileHandle writer = OpenFileWithRetry(path, FileAccess::Write, FileShare::Read,
                                          FileDisposition::CreateAlways, 500, clock);
    EXPECT_TRUE(writer.valid());
    EXPECT_EQ(clock.m_pauses, 2);
    EXPECT_EQ(test::ReadTextFile(path), "");
    writer.close();

    // Openers that let others write coexist.
    FileHandle shared1 = OpenFileWithRetry(path, FileAccess::ReadWrite, FileShare::ReadWrite,
                                           FileDisposition::OpenExisting, 0);
    FileHandle shared2 = OpenFileWithRetry(path, FileAccess::Write, FileShare::ReadWrite,
                                           FileDisposition::OpenExisting, 0);
    EXPECT_TRUE(shared1.valid() && shared2.valid());
}

}  // namespace
}  // namespace sonaro
