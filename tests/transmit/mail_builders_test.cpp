#include "transmit/mail_builders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/setting_names.h"
#include "transmit_fixture.h"

namespace sonaro {
namespace {

class MailBuildersTest : public test::TransmitTest {
  protected:
    MailAccountFinder finder() {
        return [this] {
            ++m_lookups;
            return std::optional<MailAccount>(
                MailAccount{"smtp.found.example", "me@found.example"});
        };
    }
    int m_lookups = 0;
};

TEST_F(MailBuildersTest, EachBuilderAppliesTheDefaultsOnceThenReadsTheReplyAddress) {
    const MailMessage first =
        BuildRecordingMessage(m_settings, finder(), "to@x.example", "S", "B", "/rec/a.wav");
    EXPECT_EQ(first.replyTo, "me@found.example");
    EXPECT_EQ(first.attachments, std::vector<std::string>{"/rec/a.wav"});
    EXPECT_EQ(m_settings.Read(setting::kMailSmtpHost), "smtp.found.example");

    m_settings.Write(setting::kReplyToEmail, "");
    const MailMessage second =
        BuildAttachmentMessage(m_settings, finder(), "to@x.example", "/rec/b.wav");
    EXPECT_EQ(m_lookups, 1) << "the account is looked for once per user";
    EXPECT_EQ(second.replyTo, "") << "a cleared address is not filled again";
    EXPECT_EQ(second.subject, "Sonaro Sound Recorder Attachment");
    EXPECT_EQ(second.body, "Please see the attachment sent by Sonaro Sound Recorder.");
    EXPECT_EQ(second.attachments, std::vector<std::string>{"/rec/b.wav"});

    m_settings.Write(setting::kReplyToEmail, "reply@x.example");
    const MailMessage report =
        BuildErrorReportMessage(m_settings, finder(), "bugs@x.example", "Report", "Text");
    EXPECT_EQ(report.replyTo, "reply@x.example");
    EXPECT_TRUE(report.attachments.empty());
    EXPECT_EQ(report.to, "bugs@x.example");
}

TEST_F(MailBuildersTest, TheBodyNamesTheFileAndOnlyAConfiguredAddress) {
    const std::string plain = RecordingMailBody("take 1.wav", "");
    EXPECT_EQ(plain.rfind("Attached is a recording made by Sonaro Sound Recorder.\r\n\r\n"
                          "  File Name: take 1.wav\r\n  \r\n\r\n",
                          0),
              0u);
    EXPECT_THAT(plain, testing::HasSubstr(std::string(34, '-') + "\r\nSonaro Sound Recorder\r\n"));
    EXPECT_EQ(plain.find("http"), std::string::npos);
    EXPECT_EQ(plain.find("www"), std::string::npos);

    const std::string linked = RecordingMailBody("take 1.wav", "https://maker.example/");
    EXPECT_EQ(linked.substr(linked.size() - 24), "https://maker.example/\r\n");
    EXPECT_EQ(linked.find("http"), linked.find("https://maker.example/"));
}

TEST_F(MailBuildersTest, TheSubjectIsCutAtACharacterBoundary) {
    EXPECT_EQ(RecordingMailSubject("a.wav"), "Sonaro Sound Recorder - Emailed Recording a.wav");
    std::string name;
    for (int i = 0; i < 200; ++i) {
        name += "\xC3\xBC";  // two bytes each
    }
    const std::string subject = RecordingMailSubject(name);
    EXPECT_LE(subject.size(), 259u);
    EXPECT_GE(subject.size(), 258u);
    EXPECT_NE(static_cast<unsigned char>(subject.back()), 0xC3u) << "no half character at the end";
}

}  // namespace
}  // namespace sonaro
