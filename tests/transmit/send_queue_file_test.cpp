#include "transmit/send_queue_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "transmit_fixture.h"

namespace sonaro {
namespace {

class SendQueueFileTest : public test::TransmitTest {
  protected:
    SendQueueFile m_queue{m_queuePath, &m_log};
};

TEST_F(SendQueueFileTest, KeepsTheByteLayoutThroughAppendsAndRemovals) {
    ASSERT_TRUE(m_queue.Append("/rec/one.wav"));
    ASSERT_TRUE(m_queue.Append("/rec/two.wav"));
    ASSERT_TRUE(m_queue.Append("/rec/three.wav"));
    const std::string header("\x01\x00\x00\x00\x04\x01\x00\x00", 8);
    EXPECT_EQ(queueOnDisk().substr(0, 8), header);
    EXPECT_EQ(queueOnDisk().size(), 8u + 3 * 260);
    EXPECT_EQ(queueOnDisk().substr(8 + 260, 13), std::string("/rec/two.wav\0", 13));
    EXPECT_EQ(m_queue.ReadFirst(), "/rec/one.wav");

    writeQueue(queueBytes({"/rec/one.wav", "/rec/two.wav", "/rec/three.wav"}, 1));
    ASSERT_TRUE(m_queue.RemoveFirst());
    EXPECT_EQ(queueOnDisk(), queueBytes({"/rec/two.wav", "/rec/three.wav"}))
        << "the rewrite starts the attempts again";
    ASSERT_TRUE(m_queue.RemoveFirst());
    EXPECT_EQ(m_queue.ReadFirst(), "/rec/three.wav");
    ASSERT_TRUE(m_queue.RemoveFirst());
    EXPECT_TRUE(exists(m_queuePath));
    EXPECT_EQ(queueOnDisk(), "") << "the last removal leaves an empty file";
    EXPECT_EQ(m_queue.ReadFirst(), std::nullopt);
    EXPECT_FALSE(exists(m_queuePath + ".new"));
}

TEST_F(SendQueueFileTest, AReaderStopsAtByte259AndAPathThatDoesNotFitIsRefusedAndLogged) {
    std::string record(260, 'a');
    writeQueue(EncodeQueueHeader({}) + record);
    EXPECT_EQ(m_queue.ReadFirst(), std::string(259, 'a'));

    const std::string longPath = "/" + std::string(259, 'b');
    EXPECT_FALSE(m_queue.Append(longPath));
    EXPECT_THAT(logText(), testing::HasSubstr("Recording not queued for sending"));
    EXPECT_THAT(logText(), testing::HasSubstr(longPath));
    EXPECT_TRUE(m_queue.Append("/" + std::string(258, 'c')));
    EXPECT_EQ(m_queue.Records().back(), "/" + std::string(258, 'c'));
}

TEST_F(SendQueueFileTest, ResumeNeitherWrapsTheAttemptsNorCreatesAQueue) {
    writeQueue(queueBytes({"/rec/c.wav"}, 65535));
    EXPECT_EQ(m_queue.Resume(65535), SendQueueFile::ResumeOutcome::Removed)
        << "the count cannot wrap round to 0 and resume for ever";
    EXPECT_EQ(m_queue.Resume(1), SendQueueFile::ResumeOutcome::Removed) << "missing";
    EXPECT_FALSE(exists(m_queuePath)) << "a missing queue is not created";
}

TEST_F(SendQueueFileTest, ResumeRemovesEmptyHeaderOnlyCutOffAndForeignFiles) {
    for (const std::string& bytes :
         {std::string(), queueBytes({}), queueBytes({}) + "/rec/cut on resume",
          std::string("\x02\x00\x00\x00\x04\x01\x00\x00", 8),
          std::string("\x01\x00\x00\x00\x00\x02\x00\x00", 8) + std::string(512, 'x'),
          std::string("\x01\x00", 2)}) {
        writeQueue(bytes);
        EXPECT_EQ(m_queue.Resume(5), SendQueueFile::ResumeOutcome::Removed) << bytes.size();
        EXPECT_FALSE(exists(m_queuePath)) << bytes.size();
    }
    EXPECT_THAT(logText(), testing::HasSubstr("dropped from the send queue: /rec/cut on resume"));
}

TEST_F(SendQueueFileTest, ACutOffTailIsDroppedWithALogLineAndNeverHidesWholeRecords) {
    // Only part of one record: nothing to send, the file goes.
    writeQueue(queueBytes({}) + std::string("/rec/cut", 8) + std::string(92, '\0'));
    EXPECT_EQ(m_queue.ReadFirst(), std::nullopt);
    EXPECT_FALSE(exists(m_queuePath));
    EXPECT_THAT(logText(),
                testing::HasSubstr("A cut-off record was dropped from the send queue: /rec/cut"));

    // A crash during the third append: the two whole records stay and the next append lands
    // on a record boundary.
    writeQueue(queueBytes({"/rec/1.wav", "/rec/2.wav"}) + "/rec/3.w");
    EXPECT_EQ(m_queue.ReadFirst(), "/rec/1.wav");
    EXPECT_EQ(queueOnDisk(), queueBytes({"/rec/1.wav", "/rec/2.wav"}));
    writeQueue(queueBytes({"/rec/1.wav", "/rec/2.wav"}) + "/rec/3.w");
    ASSERT_TRUE(m_queue.Append("/rec/4.wav"));
    EXPECT_EQ(m_queue.Records(),
              (std::vector<std::string>{"/rec/1.wav", "/rec/2.wav", "/rec/4.wav"}));
    EXPECT_THAT(logText(), testing::HasSubstr("send queue: /rec/3.w"));

    // A header cut short by a crash during the first append.
    writeQueue(std::string("\x01\x00\x00", 3));
    ASSERT_TRUE(m_queue.Append("/rec/5.wav"));
    EXPECT_EQ(queueOnDisk(), queueBytes({"/rec/5.wav"}));
}

// Appends of one thread and removals of another, as the window and the sender do them: every
// record appended is either removed, in order, or still queued.
TEST_F(SendQueueFileTest, AppendsDuringRemovalsAreNeverLost) {
    constexpr int kCount = 150;
    std::vector<std::string> removed;
    std::atomic<bool> appending{true};
    std::thread remover([&] {
        for (;;) {
            const bool last = !appending.load();
            while (const auto first = m_queue.ReadFirst()) {
                removed.push_back(*first);
                ASSERT_TRUE(m_queue.RemoveFirst());
            }
            if (last) {
                return;
            }
        }
    });
    SendQueueFile window(m_queuePath, &m_log);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(window.Append("/rec/" + std::to_string(i) + ".wav"));
    }
    appending.store(false);
    remover.join();
    ASSERT_EQ(removed.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(removed[static_cast<std::size_t>(i)], "/rec/" + std::to_string(i) + ".wav");
    }
}

// A process killed at any instant of its removals leaves a whole queue: the original one or
// one with some of its first records gone, never a mix of both. What a kill would leave is what
// a reader that takes no lock finds on disk at that instant, so the queue is looked at many
// times while the removals run, then once more after the kill.
TEST_F(SendQueueFileTest, AKillDuringRemovalsLeavesTheOldOrTheNewQueue) {
    std::vector<std::string> records;
    for (int i = 0; i < 2000; ++i) {
        records.push_back("/recordings/a long enough name for a record " + std::to_string(i));
    }
    const auto isWhole = [&records](const std::string& bytes) {
        if (bytes.empty()) {
            return true;
        }
        if (bytes.size() < 8 || (bytes.size() - 8) % 260 != 0 || bytes.size() > 8 + 260 * 2000 ||
            bytes.substr(0, 8) != queueBytes({}, 0)) {
            return false;
        }
        const std::size_t left = (bytes.size() - 8) / 260;
        for (std::size_t i = 0; i < left; ++i) {
            if (bytes.substr(8 + i * 260, 260) !=
                EncodeQueueRecord(records[records.size() - left + i])) {
                return false;
            }
        }
        return true;
    };
    std::mt19937 random(7);
    for (int round = 0; round < 6; ++round) {
        writeQueue(queueBytes(records));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SendQueueFile queue(m_queuePath, nullptr);
            for (;;) {
                queue.RemoveFirst();
            }
        }
        // The kill comes at a random moment after the first removal reached the disk; a loaded
        // machine may start the child late.
        const auto start = std::chrono::steady_clock::now();
        const auto earliest = start + std::chrono::milliseconds(50 + random() % 100);
        const auto latest = start + std::chrono::seconds(30);
        const std::size_t fullSize = 8 + 260 * records.size();
        int looks = 0;
        bool whole = true;
        bool removed = false;
        for (auto now = start; whole && now < latest && (!removed || now < earliest);
             now = std::chrono::steady_clock::now()) {
            const std::string bytes = queueOnDisk();
            whole = isWhole(bytes);
            removed = removed || bytes.size() < fullSize;
            ++looks;
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(whole) << "round " << round << ", look " << looks;
        ASSERT_TRUE(isWhole(queueOnDisk())) << "round " << round << " after the kill";
        ASSERT_LT(queueOnDisk().size(), fullSize) << "removals ran";
    }
}

}  // namespace
}  // namespace sonaro
