#include "transmit/run_command.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

using Words = std::vector<std::string>;

TEST(RunCommandTest, SplitsLikeAShellWithoutExpanding) {
    std::string problem;
    EXPECT_EQ(SplitShellWords("  prog  a\tb ", problem), (Words{"prog", "a", "b"}));
    EXPECT_EQ(SplitShellWords(R"("/opt/my prog/run" 'it''s' x"y"z "")", problem),
              (Words{"/opt/my prog/run", "its", "xyz", ""}));
    EXPECT_EQ(SplitShellWords(R"('a "b" \n' "c \"d\" \\ \n $HOME" e\ f\'g)", problem),
              (Words{R"(a "b" \n)", R"(c "d" \ \n $HOME)", "e f'g"}));
    EXPECT_EQ(SplitShellWords("; rm -rf ~ && `x` | $(y)", problem),
              (Words{";", "rm", "-rf", "~", "&&", "`x`", "|", "$(y)"}))
        << "no shell ever reads the line";
    for (const char* broken : {"prog \"open", "prog 'open", "prog trailing\\"}) {
        problem.clear();
        EXPECT_EQ(SplitShellWords(broken, problem), std::nullopt) << broken;
        EXPECT_FALSE(problem.empty()) << broken;
    }
}

TEST(RunCommandTest, TheRecordingPathStaysOneArgumentWhateverItHolds) {
    const std::string path = R"(/rec/it's "a" take %d $(x) %s.wav)";
    std::string problem;
    EXPECT_EQ(BuildRunArguments(R"("/opt/my tool" --in="%s" -q)", path, problem),
              (Words{"/opt/my tool", "--in=" + path, "-q"}));
    EXPECT_EQ(BuildRunArguments("tool %s %s", path, problem), (Words{"tool", path, path}));
    EXPECT_EQ(BuildRunArguments("tool 100% %d %%s", path, problem),
              (Words{"tool", "100%", "%d", "%" + path}))
        << "other percent sequences are left as written, never read as arguments";
    EXPECT_EQ(BuildRunArguments("tool --version", path, problem), (Words{"tool", "--version"}));
    EXPECT_EQ(BuildRunArguments("   ", path, problem), std::nullopt);
    EXPECT_EQ(problem, "no program is given");
}

}  // namespace
}  // namespace sonaro
