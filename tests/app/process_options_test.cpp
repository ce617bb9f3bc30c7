#include "app/process_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>

#include "app/built_in_tools.h"

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

TEST(BuiltInTools, RunTheNamedToolOverTheGivenDescriptors) {
    BuiltInTools tools;
    tools.Register("Upper", [](int in, int out) {
        char buffer[64];
        const ssize_t n = read(in, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            buffer[i] = static_cast<char>(std::toupper(buffer[i]));
        }
        return write(out, buffer, static_cast<std::size_t>(n)) == n ? 7 : 8;
    });
    tools.Register("Broken", [](int, int) -> int { throw std::runtime_error("bad input"); });
    int input[2];
    int output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    ASSERT_EQ(write(input[1], "abc", 3), 3);
    close(input[1]);
    EXPECT_EQ(tools.Run("Upper", input[0], output[1]), 7);
    char result[4] = {};
    EXPECT_EQ(read(output[0], result, 3), 3);
    EXPECT_STREQ(result, "ABC");
    EXPECT_EQ(tools.Run("upper", input[0], output[1]), 0);
    EXPECT_EQ(tools.Run("Broken", input[0], output[1]), 1);
    for (const int fd : {input[0], output[0], output[1]}) {
        close(fd);
    }
}

}  // namespace
}  // namespace sonaro
