#include "app/forward_paths.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

using Args = std::vector<std::string>;

TEST(PathOptions, RelativeValuesBecomeAbsoluteAgainstTheFolder) {
    Args args{"sonaro", "-outdir",     "rec", "-RecordFile", "../take.wav", "-OUTDIR",
              "/abs",   "-recordfile", "",    "-outdir",     "~/x"};
    EXPECT_TRUE(MakePathOptionsAbsolute(args, "/home/u"));
    EXPECT_EQ(args, (Args{"sonaro", "-outdir", "/home/u/rec", "-RecordFile", "/home/u/../take.wav",
                          "-OUTDIR", "/abs", "-recordfile", "", "-outdir", "/home/u/~/x"}));
    Args atRoot{"sonaro", "-outdir", "rec"};
    EXPECT_TRUE(MakePathOptionsAbsolute(atRoot, "/"));
    EXPECT_EQ(atRoot[2], "/rec");
}

// Only words the receiver takes as the path of one of these options change.
TEST(PathOptions, OtherWordsStayAsTheyAre) {
    const Args original{"rel",   "-outdirs", "a",       "-ms", "-outdir",
                        "-exit", "take.wav", "-record", "wav", "-outdir"};
    Args args = original;
    EXPECT_TRUE(MakePathOptionsAbsolute(args, "/home/u"));
    EXPECT_EQ(args, original);
}

TEST(PathOptions, WithoutAFolderRelativeValuesAreRefused) {
    Args args{"sonaro", "-outdir", "/abs", "-recordfile", "take.wav", "-outdir", "rec"};
    const Args original = args;
    std::string unresolved;
    EXPECT_FALSE(MakePathOptionsAbsolute(args, "", &unresolved));
    EXPECT_EQ(unresolved, "take.wav");
    EXPECT_EQ(args, original);
    Args absolute{"sonaro", "-outdir", "/abs"};
    EXPECT_TRUE(MakePathOptionsAbsolute(absolute, ""));
}

}  // namespace
}  // namespace sonaro
