#include "platform/unix_instance_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "app/forward_block.h"
#include "platform/flock_startup_lock.h"
#include "support/manual_dispatcher.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    return address;
}

int openDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

// Connections that never send anything, made within `budgetMs`: a server that stops accepting
// gets fewer.
std::vector<int> connectSilently(const std::string& path, int count, int budgetMs) {
    const sockaddr_un address = addressOf(path);
    const auto giveUp = Clock::now() + milliseconds(budgetMs);
    std::vector<int> connections;
    while (static_cast<int>(connections.size()) < count) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        while (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (errno != EAGAIN || Clock::now() >= giveUp) {  // EAGAIN: the listen queue is full
                close(fd);
                return connections;
            }
            std::this_thread::sleep_for(milliseconds(1));
        }
        connections.push_back(fd);
    }
    return connections;
}

// True while the server keeps its end of the connection open.
bool heldOpen(int fd) {
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
}

class InstanceChannelTest : public testing::Test {
  protected:
    InstanceChannelTest()
        : m_path(m_dir + "/instance"),
          m_server(
              m_path, m_dispatcher,
              [this](std::span<const char> block) {
                  m_received.emplace_back(block.begin(), block.end());
                  return m_answer;
              },
              m_errors.file) {}
    ~InstanceChannelTest() override { m_server.Close(); }

    // Runs `checks` that block this thread while another plays the user-interface thread.
    void whilePumping(const std::function<void()>& checks) {
        const std::jthread pump([this](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                m_dispatcher.pumpFor(10);
            }
        });
        checks();
    }

    ForwardResult forward(const std::vector<char>& block, int replyMs = 5000) {
        ForwardResult result{};
        whilePumping([&] { result = UnixInstanceChannel(m_path).Forward(block, replyMs); });
        return result;
    }

    const test::TempDir m_dir{"instance"};
    std::string m_path;
    test::CapturedFile m_errors;
    test::ManualDispatcher m_dispatcher;
    std::vector<std::vector<char>> m_received;
    ForwardAnswer m_answer = ForwardAnswer::Applied;
    UnixInstanceServer m_server;
};

// A socket file left by a crashed instance refuses connections and is replaced on Listen; that of
// a live instance never is, and Close removes the socket only while it is ours.
TEST_F(InstanceChannelTest, OnlyAStaleSocketIsReplacedAndOnlyOursRemoved) {
    EXPECT_EQ(UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 100),
              ForwardResult::NoInstance);
    ASSERT_TRUE(m_server.Listen());
    m_server.Close();
    EXPECT_FALSE(std::filesystem::exists(m_path)) << "closing removes the socket";
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = addressOf(m_path);
    ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(stale);
    EXPECT_EQ(UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 100),
              ForwardResult::NoInstance);
    ASSERT_TRUE(m_server.Listen());
    UnixInstanceServer intruder(
        m_path, m_dispatcher, [](std::span<const char>) { return ForwardAnswer::Applied; },
        m_errors.file);
    EXPECT_FALSE(intruder.Listen());
    EXPECT_EQ(forward(BuildForwardBlock({"s", "-show"})), ForwardResult::Delivered);
    EXPECT_EQ(m_received.size(), 1u);

    ASSERT_EQ(unlink(m_path.c_str()), 0);
    test::WriteTextFile(m_path, "");
    m_server.Close();
    EXPECT_TRUE(std::filesystem::exists(m_path));
}

TEST_F(InstanceChannelTest, DeliversBlocksOneAfterAnotherAndAnswersOnlyAfterTheHandler) {
    ASSERT_TRUE(m_server.Listen());
    struct stat info {};
    ASSERT_EQ(stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const auto first = BuildForwardBlock({"sonaro", "-outdir", std::string(300, 'd')});
    EXPECT_EQ(forward(first), ForwardResult::Delivered);
    m_answer = ForwardAnswer::Refused;
    EXPECT_EQ(forward(BuildForwardBlock({"sonaro"})), ForwardResult::Delivered);
    m_answer = ForwardAnswer::RecordingFailed;
    EXPECT_EQ(forward(BuildForwardBlock({"sonaro", "-record"})), ForwardResult::RecordingFailed);
    ASSERT_EQ(m_received.size(), 3u);
    EXPECT_EQ(m_received[0], first);

    // Nobody pumps the dispatcher: the block arrives but no answer can come.
    EXPECT_EQ(UnixInstanceChannel(m_path).Forward(BuildForwardBlock({"s"}), 300),
              ForwardResult::TimedOut);
    EXPECT_EQ(m_dispatcher.pump(), 1);
    EXPECT_EQ(m_received.size(), 4u);
}

// Sends raw bytes and closes the sending half; true when an answer came back.
bool sendRaw(const std::string& path, const std::string& bytes) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
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

TEST_F(InstanceChannelTest, TooLongAPathIsReportedNotCut) {
    UnixInstanceServer server(
        m_dir + "/" + std::string(120, 'p'), m_dispatcher,
        [](std::span<const char>) { return ForwardAnswer::Applied; }, m_errors.file);
    EXPECT_FALSE(server.Listen());
    EXPECT_THAT(m_errors.text(), testing::HasSubstr("too long"));
    EXPECT_EQ(UnixInstanceChannel(m_dir + "/" + std::string(120, 'p')).Forward({}, 10),
              ForwardResult::Failed);
}

// Silent connections, far more than the server holds, neither delay a real forward nor push out
// one that already waits for the user-interface thread; the server holds a bounded number and
// leaves no descriptor behind.
TEST_F(InstanceChannelTest, SilentConnectionsDoNotHoldUpForwarding) {
    const int descriptorsBefore = openDescriptors();
    ASSERT_TRUE(m_server.Listen());
    const auto waiting = BuildForwardBlock({"sonaro", "-outdir", "/first"});
    auto first = std::async(std::launch::async,
                            [&] { return UnixInstanceChannel(m_path).Forward(waiting, 20000); });
    const auto posted = Clock::now() + milliseconds(5000);
    while (m_dispatcher.pending() == 0 && Clock::now() < posted) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    ASSERT_EQ(m_dispatcher.pending(), 1u);

    constexpr int kSilent = 100;
    const std::vector<int> silent = connectSilently(m_path, kSilent, 2000);
    EXPECT_EQ(static_cast<int>(silent.size()), kSilent) << "the server stopped accepting";

    const auto block = BuildForwardBlock({"sonaro", "-show"});
    EXPECT_EQ(forward(block, 3000), ForwardResult::Delivered);
    EXPECT_EQ(first.get(), ForwardResult::Delivered);
    ASSERT_EQ(m_received.size(), 2u);
    EXPECT_EQ(m_received[0], waiting);
    EXPECT_EQ(m_received[1], block);

    const auto held = std::count_if(silent.begin(), silent.end(), heldOpen);
    EXPECT_LE(held, UnixInstanceServer::kMaxClients);
    for (const int fd : silent) {
        close(fd);
    }
    m_server.Close();
    m_dispatcher.pump();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST_F(InstanceChannelTest, ASenderHasAShortTimeForItsBlock) {
    ASSERT_TRUE(m_server.Listen());
    whilePumping([&] {
        // A sender that pauses within the time still gets its block through.
        const auto block = BuildForwardBlock({"sonaro", "-hide"});
        const int slow = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressOf(m_path);
        ASSERT_EQ(connect(slow, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(send(slow, block.data(), 1000, MSG_NOSIGNAL), 1000);
        std::this_thread::sleep_for(milliseconds(UnixInstanceServer::kReceiveMs / 4));
        EXPECT_EQ(send(slow, block.data() + 1000, block.size() - 1000, MSG_NOSIGNAL),
                  static_cast<ssize_t>(block.size() - 1000));
        shutdown(slow, SHUT_WR);
        char answer[4] = {};
        EXPECT_EQ(recv(slow, answer, sizeof answer, MSG_WAITALL), 4);
        EXPECT_EQ(answer[0], 1);
        close(slow);

        // A silent one is dropped without an answer once the time is up, not seconds later.
        const std::vector<int> silent = connectSilently(m_path, 1, 1000);
        ASSERT_EQ(silent.size(), 1u);
        const auto start = Clock::now();
        pollfd entry{silent[0], POLLIN, 0};
        EXPECT_EQ(poll(&entry, 1, 10000), 1);
        const auto waited = Clock::now() - start;
        EXPECT_EQ(recv(silent[0], answer, sizeof answer, 0), 0);
        EXPECT_GE(waited, milliseconds(UnixInstanceServer::kReceiveMs / 2));
        EXPECT_LT(waited, milliseconds(3000));
        close(silent[0]);
    });
    EXPECT_EQ(m_received.size(), 1u);
}

// Blocks up to the limit arrive whole; one of any other length than it announces is ignored.
TEST_F(InstanceChannelTest, BlocksArriveWholeUpToTheLimitAndNoOtherLength) {
    ASSERT_TRUE(m_server.Listen());
    std::vector<std::string> args{"sonaro", "-outdir", ""};
    args.back().assign(kMaxForwardBytes - 8 - (4 + 6) - (4 + 7) - 4, 'x');
    const auto largest = BuildForwardBlock(args);
    ASSERT_EQ(largest.size(), kMaxForwardBytes);
    EXPECT_EQ(forward(largest), ForwardResult::Delivered);
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(ParseForwardBlock(m_received[0]), args);

    const auto valid = BuildForwardBlock({"sonaro", "-exit"});
    const std::string exact(valid.begin(), valid.end());
    // The largest block with one byte more in its last argument.
    std::string tooLarge(largest.begin(), largest.end());
    const std::size_t lengthAt = 8 + (4 + 6) + (4 + 7);
    const auto length = static_cast<std::uint32_t>(args.back().size() + 1);
    for (int i = 0; i < 4; ++i) {
        tooLarge[lengthAt + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    whilePumping([&] {
        EXPECT_FALSE(sendRaw(m_path, exact.substr(0, 100)));
        EXPECT_FALSE(sendRaw(m_path, exact + "x"));
        EXPECT_FALSE(sendRaw(m_path, exact + std::string(100000, 'y')));
        EXPECT_FALSE(sendRaw(m_path, ""));
        EXPECT_FALSE(sendRaw(m_path, tooLarge + "x"));
        EXPECT_FALSE(sendRaw(m_path, tooLarge.substr(0, 5000)));
        EXPECT_TRUE(sendRaw(m_path, exact));
    });
    ASSERT_EQ(m_received.size(), 2u);
    EXPECT_EQ(m_received[1], valid);
}

TEST(FlockStartupLock, IsExclusiveUntilReleased) {
    const test::TempDir dir("lock");
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
}

}  // namespace
}  // namespace sonaro
