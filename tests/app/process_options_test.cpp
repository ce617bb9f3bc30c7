#include "app/process_options.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

ProcessOptionKind kindOf(std::vector<std::string> args) {
    args.insert(args.begin(), "sonaro");
    return ParseProcessOption(args).kind;
}

TEST(ProcessOptions, AreCaseSensitiveAndNeedTheirArguments) {
    EXPECT_EQ(kindOf({"-exe", "DSSDecode"}), ProcessOptionKind::RunTool);
    EXPECT_EQ(kindOf({"-EXE", "DSSDecode"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-exe"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-setautorun"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-extfind"}), ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addfiletyperunspecial", "a"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-remfiletyperunspecial", "a", "b"}), ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addremfiletyperunspecial", "a", "b", "c", "d"}),
              ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addfiletyperunspecial", "a", "b", "c", "d", "e"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-record", "-exe", "x"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({}), ProcessOptionKind::None);
}

TEST(ProcessOptions, AutorunCodeIsReadFromItsSecondCharacter) {
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "X1"}).autorun, AutorunChange::Enable);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "X0"}).autorun, AutorunChange::Disable);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "1"}).autorun, AutorunChange::None);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", ""}).autorun, AutorunChange::None);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "Y2"}).autorun, AutorunChange::None);
}

}  // namespace
}  // namespace sonaro
