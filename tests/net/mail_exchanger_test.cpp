#include "net/mail_exchanger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sonaro {
namespace {

// A DNS answer for "example.test" MX, built the way a name server sends it (name compression
// included).
class AnswerPacket {
  public:
    explicit AnswerPacket(int answers) {
        bytes = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, static_cast<std::uint8_t>(answers), 0, 0, 0, 0};
        name("example");
        name("test");
        bytes.push_back(0);
        u16(15);
        u16(1);
    }
    // One MX record owned by the question name; `target` is label bytes ending in a pointer or 0.
    void mx(std::uint16_t preference, const std::vector<std::uint8_t>& target) {
        u16(0xC00C);
        u16(15);
        u16(1);
        bytes.insert(bytes.end(), {0, 0, 0x0E, 0x10});
        u16(static_cast<std::uint16_t>(2 + target.size()));
        u16(preference);
        bytes.insert(bytes.end(), target.begin(), target.end());
    }
    static std::vector<std::uint8_t> labelThenQuestion(const std::string& label) {
        std::vector<std::uint8_t> out{static_cast<std::uint8_t>(label.size())};
        out.insert(out.end(), label.begin(), label.end());
        out.insert(out.end(), {0xC0, 0x0C});
        return out;
    }
    std::vector<std::uint8_t> bytes;

  private:
    void name(const std::string& label) {
        bytes.push_back(static_cast<std::uint8_t>(label.size()));
        bytes.insert(bytes.end(), label.begin(), label.end());
    }
    void u16(std::uint16_t value) {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
};

TEST(MxAnswer, RecordsComeOutInOrderOfPreferenceNotOfTheAnswer) {
    AnswerPacket packet(3);
    packet.mx(20, AnswerPacket::labelThenQuestion("mx2"));
    packet.mx(10, AnswerPacket::labelThenQuestion("mx1"));
    packet.mx(20, {6, 'b', 'a', 'c', 'k', 'u', 'p', 5, 'o', 't', 'h', 'e', 'r', 0});
    const std::vector<MxRecord> records = ParseMxAnswer(packet.bytes.data(), packet.bytes.size());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].host, "mx1.example.test");
    EXPECT_EQ(records[0].preference, 10);
    EXPECT_EQ(records[1].host, "mx2.example.test");
    EXPECT_EQ(records[2].host, "backup.other");
}

TEST(MxAnswer, TruncatedOrEmptyAnswersGiveWhatCouldBeRead) {
    AnswerPacket packet(2);
    packet.mx(5, AnswerPacket::labelThenQuestion("mx"));
    packet.mx(1, AnswerPacket::labelThenQuestion("cut"));
    std::vector<std::uint8_t> truncated(packet.bytes.begin(), packet.bytes.end() - 4);
    EXPECT_TRUE(ParseMxAnswer(truncated.data(), truncated.size()).empty() ||
                ParseMxAnswer(truncated.data(), truncated.size()).front().host ==
                    "mx.example.test");
    EXPECT_TRUE(ParseMxAnswer(packet.bytes.data(), 7).empty());
    AnswerPacket none(0);
    EXPECT_TRUE(ParseMxAnswer(none.bytes.data(), none.bytes.size()).empty());
}

TEST(MailExchanger, DomainWithPortSkipsDnsAndOneWithoutFallsBackToItself) {
    const std::vector<Endpoint> direct = ResolveMailExchangers("127.0.0.1:2525");
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(direct[0].address, 0x7F000001u);
    EXPECT_EQ(direct[0].port, 2525);
    // A dotted address has no MX records: the address itself on port 25.
    const Endpoint own = ResolveMailExchanger("127.0.0.3");
    EXPECT_EQ(own.address, 0x7F000003u);
    EXPECT_EQ(own.port, 25);
}

}  // namespace
}  // namespace sonaro
