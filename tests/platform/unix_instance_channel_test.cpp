#include "platform/unix_instance_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <future>

#include "app/forward_block.h"
#include "platform/flock_startup_lock.h"
#include "support/manual_dispatcher.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class InstanceChannelTest : public testing::Test {
  protected:
    InstanceChannelTest()
        : m_dir(test::MakeTempDir("instance")),
          m_path(m_dir + "/instance"),
          m_errors(std::tmpfile()),
          m_server(
              m_path, m_dispatcher,
              [this](std::span<const char> block) {
                  m_received.emplace_back(block.begin(), block.end());
                  return m_accept;
              },
              m_errors) {}
    ~InstanceChannelTest() override {
        m_server.Close();
        std::fclose(m_errors);
        test::RemoveTree(m_dir);
    }

    // Forwards on another thread while this one plays the user-interface thread.
    ForwardResult forward(const std::vector<char>& block, int replyMs = 5000) {
        auto result = std::async(std::launch::async, [&] {
            return UnixInstanceChannel(m_path).Forward(block, replyMs);
        });
        while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            m_dispatcher.pumpFor(10);
        }
        return result.get();
    }

    std::string errorText() {
        std::fflush(m_errors);
        std::rewind(m_errors);
        char buffer[512] = {};
        const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, m_errors);
        return std::string(buffer, n);
    }

    std::string m_dir;
    std::string m_path;
    std::FILE* m_errors;
    test::ManualDispatcher m_dispatcher;
    std::vector<std::vector<char>> m_received;
    bool m_accept = true;
    UnixInstanceServer m_server;
};

TEST_F(InstanceChannelTest, NoInstanceWithoutSocketOrWithAStaleOne) {
    EXPECT_EQ(UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 100),
              ForwardResult::NoInstance);
    ASSERT_TRUE(m_server.Listen());
    m_server.Close();
    EXPECT_FALSE(std::filesystem::exists(m_path)) << "closing removes the socket";
    // A socket file left by a crashed instance refuses connections and is replaced on Listen.
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, m_path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
    EXPECT_EQ(UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 100),
              ForwardResult::NoInstance);
    ASSERT_TRUE(m_server.Listen());
    EXPECT_EQ(forward(BuildForwardBlock({"s", "-show"})), ForwardResult::Delivered);
}

TEST_F(InstanceChannelTest, DeliversBlocksOneAfterAnotherAndAnswersAfterTheHandler) {
    ASSERT_TRUE(m_server.Listen());
    struct stat info {};
    ASSERT_EQ(stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const auto first = BuildForwardBlock({"sonaro", "-outdir", std::string(300, 'd')});
    EXPECT_EQ(forward(first), ForwardResult::Delivered);
    m_accept = false;
    EXPECT_EQ(forward(BuildForwardBlock({"sonaro"})), ForwardResult::Delivered);
    ASSERT_EQ(m_received.size(), 2u);
    EXPECT_EQ(m_received[0], first);
}

TEST_F(InstanceChannelTest, SenderWaitsForTheUserInterfaceThread) {
    ASSERT_TRUE(m_server.Listen());
    // Nobody pumps the dispatcher: the block arrives but no answer can come.
    const auto result = UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 300);
    EXPECT_EQ(result, ForwardResult::TimedOut);
    EXPECT_EQ(m_dispatcher.pump(), 1);
    EXPECT_EQ(m_received.size(), 1u);
}

// Sends raw bytes and closes the sending half; true when an answer came back.
bool sendRaw(const std::string& path, const std::string& bytes) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    char answer[4];
    const bool answered = recv(fd, answer, sizeof answer, MSG_WAITALL) == 4;
    close(fd);
    return answered;
}

TEST_F(InstanceChannelTest, IgnoresBlocksOfAnyOtherLength) {
    ASSERT_TRUE(m_server.Listen());
    const auto valid = BuildForwardBlock({"sonaro", "-exit"});
    std::atomic<bool> stop{false};
    std::thread pump([&] {
        while (!stop) {
            m_dispatcher.pumpFor(10);
        }
    });
    const std::string exact(valid.begin(), valid.end());
    EXPECT_FALSE(sendRaw(m_path, exact.substr(0, 100)));
    EXPECT_FALSE(sendRaw(m_path, exact + "x"));
    EXPECT_FALSE(sendRaw(m_path, exact + std::string(100000, 'y')));
    EXPECT_FALSE(sendRaw(m_path, ""));
    EXPECT_TRUE(sendRaw(m_path, exact));
    stop = true;
    pump.join();
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(m_received[0], valid);
}

TEST_F(InstanceChannelTest, ALiveInstanceSocketIsNeverReplaced) {
    ASSERT_TRUE(m_server.Listen());
    UnixInstanceServer intruder(
        m_path, m_dispatcher, [](std::span<const char>) { return true; }, m_errors);
    EXPECT_FALSE(intruder.Listen());
    EXPECT_EQ(forward(BuildForwardBlock({"s"})), ForwardResult::Delivered);
    EXPECT_EQ(m_received.size(), 1u);
}

TEST_F(InstanceChannelTest, CloseDoesNotRemoveASocketThatIsNoLongerOurs) {
    ASSERT_TRUE(m_server.Listen());
    ASSERT_EQ(unlink(m_path.c_str()), 0);
    std::FILE* other = std::fopen(m_path.c_str(), "w");
    ASSERT_NE(other, nullptr);
    std::fclose(other);
    m_server.Close();
    EXPECT_TRUE(std::filesystem::exists(m_path));
}

TEST_F(InstanceChannelTest, TooLongAPathIsReportedNotCut) {
    UnixInstanceServer server(
        m_dir + "/" + std::string(120, 'p'), m_dispatcher,
        [](std::span<const char>) { return true; }, m_errors);
    EXPECT_FALSE(server.Listen());
    EXPECT_NE(errorText().find("too long"), std::string::npos);
    EXPECT_EQ(UnixInstanceChannel(m_dir + "/" + std::string(120, 'p')).Forward({}, 10),
              ForwardResult::Failed);
}

TEST(FlockStartupLock, IsExclusiveUntilReleased) {
    const std::string dir = test::MakeTempDir("lock");
    FlockStartupLock first(dir + "/starting.lock");
    FlockStartupLock second(dir + "/starting.lock");
    ASSERT_TRUE(first.Acquire(1000));
    EXPECT_FALSE(second.Acquire(30));
    auto waiting = std::async(std::launch::async, [&] { return second.Acquire(20000); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    first.Release();
    EXPECT_TRUE(waiting.get());
    second.Release();
    EXPECT_TRUE(first.Acquire(0));
    test::RemoveTree(dir);
}

}  // namespace
}  // namespace sonaro
