#include "support/help_contents.h"

#include <gtest/gtest.h>

#include "support/recording_page_opener.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

TEST(HelpContents, OpensTheWebPagesElseTheFirstManualFoundElseSaysWhereItLooked) {
    const test::TempDir dir("help");
    const std::vector<std::string> manuals = {dir + "/share/sonaro/help/index.html",
                                              dir + "/README.md"};
    test::RecordingPageOpener pages;
    test::ScriptedPrompter prompter;

    OpenHelpContents("", manuals, pages, prompter);
    EXPECT_TRUE(pages.opened.empty());
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].title, "Help Contents");
    EXPECT_NE(prompter.shown()[0].text.find(manuals[0]), std::string::npos);

    test::WriteTextFile(manuals[1], "# Sonaro");
    OpenHelpContents("", manuals, pages, prompter);
    OpenHelpContents("https://www.example.org/", manuals, pages, prompter);
    EXPECT_EQ(pages.opened, (std::vector<std::string>{
                                manuals[1], "https://www.example.org/software/sonaro/help.html"}));
    EXPECT_EQ(prompter.shown().size(), 1u);
}

}  // namespace
}  // namespace sonaro
