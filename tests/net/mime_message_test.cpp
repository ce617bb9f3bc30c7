#include "net/mime_message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "net/base64.h"
#include "support/recording_task.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class StringSink final : public MessageSink {
  public:
    SendResult Send(std::string_view bytes, int) override {
        text += bytes;
        return SendResult::Ok;
    }
    std::string text;
};

std::string messageOf(const MimeContent& content, const MimeOptions& options = {}) {
    StringSink sink;
    test::RecordingTask task;
    EXPECT_EQ(WriteMimeMessage(content, 0, options, sink, task), SendResult::Ok);
    return sink.text;
}

// The text part of a message without attachments: everything after its blank line.
std::string textPartOf(std::string_view body, bool dotStuff = true) {
    MimeOptions options;
    options.dotStuff = dotStuff;
    const std::string text = messageOf({"a@b", "c@d", "s", std::string(body), {}}, options);
    const std::string marker = "charset=\"utf-8\"\r\n\r\n";
    return text.substr(text.find(marker) + marker.size());
}

TEST(MimeText, EveryLineStartingWithADotIsStuffedTheFirstAndBrokenOnesToo) {
    EXPECT_EQ(textPartOf(".first\r\nmid\r\n.\r\n..two"), "..first\r\nmid\r\n..\r\n...two");
    EXPECT_EQ(textPartOf(".first\r\n.\r\nlast", false), ".first\r\n.\r\nlast");
    const std::string longLine = std::string(700, 'a') + ".tail";
    EXPECT_EQ(textPartOf(longLine), std::string(700, 'a') + "\r\n..tail");
}

TEST(MimeText, LongLinesBreakAtTheLastBlankOrAt700) {
    EXPECT_EQ(textPartOf(std::string(1000, 'x')),
              std::string(700, 'x') + "\r\n" + std::string(300, 'x'));
    const std::string words = std::string(650, 'w') + " " + std::string(100, 'v');
    EXPECT_EQ(textPartOf(words), std::string(650, 'w') + " \r\n" + std::string(100, 'v'));
    const std::string leadingBlank = " " + std::string(800, 'z');
    EXPECT_EQ(textPartOf(leadingBlank),
              " " + std::string(699, 'z') + "\r\n" + std::string(101, 'z'));
    EXPECT_EQ(textPartOf("unix\nlines\rmixed\r\nend"), "unix\r\nlines\r\nmixed\r\nend");
}

std::string headerOf(const std::string& makerWebAddress) {
    MimeOptions options;
    options.makerWebAddress = makerWebAddress;
    const std::string text = messageOf({"a@b", "c@d", "s", "body", {}}, options);
    return text.substr(0, text.find("\r\n\r\n"));
}

TEST(MimeHeader, MailerNamesTheMakersSoftwarePageOnlyWhenKnown) {
    EXPECT_THAT(headerOf(""), testing::HasSubstr("\r\nX-Mailer: Sonaro Sound Recorder\r\n"));
    EXPECT_THAT(
        headerOf("https://maker.example/"),
        testing::HasSubstr("X-Mailer: Sonaro Sound Recorder https://maker.example/software\r\n"));
    const std::string injected = headerOf("https://m.example\r\nBcc: x@y");
    EXPECT_EQ(injected.find("\r\nBcc:"), std::string::npos);
}

TEST(MimeHeader, SubjectEncodingAndLineBreakInjection) {
    EXPECT_EQ(EncodeSubject("M\xC3\xBCll"), "=?utf-8?q?M=C3=BCll?=");
    EXPECT_EQ(EncodeSubject("Plain words here"), "Plain words here");
    EXPECT_EQ(EncodeSubject("a b?_=\xC3\xA9"), "=?utf-8?q?a=20b=3F=5F=3D=C3=A9?=");
    // Long subjects fold into several words; none splits a character or exceeds 75 characters.
    std::string euros;
    for (int i = 0; i < 40; ++i) {
        euros += "\xE2\x82\xAC";
    }
    const std::string encoded = EncodeSubject(euros);
    std::size_t start = 0;
    int words = 0;
    while (start < encoded.size()) {
        const std::size_t end = std::min(encoded.find("\r\n ", start), encoded.size());
        const std::string word = encoded.substr(start, end - start);
        EXPECT_LE(word.size(), 75u);
        EXPECT_EQ(word.rfind("=?utf-8?q?=E2", 0), 0u) << word;
        EXPECT_EQ(word.substr(word.size() - 2), "?=");
        start = end + 3;
        ++words;
    }
    EXPECT_GT(words, 1);

    const std::string injected =
        messageOf({"me@x\r\nBcc: evil@y", "you@z\nX-Evil: 1", "Hi\r\nBcc: evil@y", "body", {}});
    EXPECT_EQ(injected.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(injected.find("\nX-Evil"), std::string::npos);
    EXPECT_THAT(injected, testing::HasSubstr("Subject: Hi Bcc: evil@y\r\n"));
}

TEST(MimeHeader, DateCarriesTheZoneOffset) {
    for (const auto& [zone, date] : {std::pair{"EST5", "Fri, 15 Jan 2027 03:00:00 -0500"},
                                     {"XXX-1", "Fri, 15 Jan 2027 09:00:00 +0100"}}) {
        const test::ScopedEnv tz("TZ", zone);
        tzset();
        EXPECT_EQ(FormatMailDate(1'800'000'000), date);
    }
    tzset();
}

TEST(MimeParts, BoundaryAvoidsTheBodyAndContentTypesFollowTheExtension) {
    EXPECT_EQ(ChooseBoundary("nothing"), "gc0p4Jq0M2Yt08jU534c0");
    EXPECT_EQ(ChooseBoundary("x gc0p4Jq0M2Yt08jU534c0 y"), "gc0p4Jq0M2Yt08jU534c1");
    EXPECT_EQ(AttachmentContentType("/rec/Take.WAV"), "audio/wav");
    EXPECT_EQ(AttachmentContentType("/rec/take.mp3"), "audio/mpeg");
    EXPECT_EQ(AttachmentContentType("/rec.wav/take"), "application/octet-stream");
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    std::string lines;
    AppendBase64Lines(std::string(58, '\xFF'), lines);
    EXPECT_EQ(lines, std::string(76, '/') + "\r\n/w==\r\n");
}

TEST(MimeParts, AttachmentProgressEndsEachFileAtItsShareAndMissingFilesStayEmpty) {
    const test::TempDir dir("mime");
    std::ofstream(dir + "/a.wav") << std::string(200000, 'a');
    std::ofstream(dir + "/b.mp3") << std::string(100, 'b');
    StringSink sink;
    test::RecordingTask task;
    ASSERT_EQ(WriteMimeMessage(
                  MimeContent{
                      "", "c@d", "s", "body", {dir + "/a.wav", dir + "/gone.wav", dir + "/b.mp3"}},
                  0, {}, sink, task),
              SendResult::Ok);
    EXPECT_EQ(sink.text.find("From:"), std::string::npos);
    EXPECT_NE(sink.text.find("Content-Type: audio/wav; name=\"gone.wav\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment; filename=\"gone.wav\"\r\n\r\n"
                             "\r\n--gc0p4Jq0M2Yt08jU534c0\r\n"),
              std::string::npos);
    EXPECT_EQ(sink.text.substr(sink.text.size() - 29), "\r\n--gc0p4Jq0M2Yt08jU534c0--\r\n");
    ASSERT_GE(task.progress.size(), 3u);
    EXPECT_DOUBLE_EQ(task.progress.front(), 0.2);
    EXPECT_NE(std::find(task.progress.begin(), task.progress.end(), 0.3 + 0.2),
              task.progress.end());
    EXPECT_DOUBLE_EQ(task.progress.back(), 0.9);
}

}  // namespace
}  // namespace sonaro
