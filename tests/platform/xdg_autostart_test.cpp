#include "platform/xdg_autostart.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace sonaro {
namespace {

TEST(XdgAutostart, EntryStartsTheProgramQuotedAtLogon) {
    const test::TempDir dir("autostart");
    XdgAutostart autostart(dir + "/config");
    EXPECT_FALSE(autostart.IsEnabled());
    EXPECT_TRUE(autostart.Disable()) << "nothing to remove is no failure";
    ASSERT_TRUE(autostart.Enable("/opt/my apps/sonaro"));
    const std::string text = test::ReadTextFile(dir + "/config/autostart/sonaro.desktop");
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_THAT(text, testing::HasSubstr("\nExec=\"/opt/my apps/sonaro\" -logon\n"));
    EXPECT_THAT(text, testing::HasSubstr("\nType=Application\n"));
    EXPECT_TRUE(autostart.Disable());
    EXPECT_FALSE(autostart.IsEnabled());
}

TEST(XdgAutostart, ReservedCharactersAreEscaped) {
    EXPECT_EQ(XdgAutostart::ExecLine("/a/$b\"c`d\\e%f"), R"("/a/\\$b\\"c\\`d\\\\e%%f" -logon)");
}

}  // namespace
}  // namespace sonaro
