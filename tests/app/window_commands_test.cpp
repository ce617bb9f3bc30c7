#include "app/window_commands.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

TEST(WindowCommands, TrayEnablingFollowsRecorderAndPlayer) {
    const auto row = [](const RecorderStatus& status) {
        const TrayEnabling e = TrayItemsEnabled(status);
        return std::string{e.play ? 'P' : '-', e.record ? 'R' : '-', e.pause ? 'A' : '-',
                           e.stop ? 'S' : '-', e.restart ? 'T' : '-'};
    };
    EXPECT_EQ(row({}), "PR---");                                  // idle
    EXPECT_EQ(row({true, false, false, false, false}), "-RAST");  // waiting for voice
    EXPECT_EQ(row({true, true, false, false, false}), "--AST");   // recording
    EXPECT_EQ(row({false, false, true, false, false}), "PR-ST");  // paused recording
    EXPECT_EQ(row({false, false, false, true, false}), "P-AST");  // playing
    EXPECT_EQ(row({false, false, false, true, true}), "P--ST");   // playback paused
}

}  // namespace
}  // namespace sonaro
