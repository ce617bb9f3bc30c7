#include "app/window_commands.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

TEST(WindowCommands, EveryEntryOfARowRoutesAlike) {
    const struct {
        std::initializer_list<int> commands;
        WindowAction action;
        int page;
    } rows[] = {
        {{1001, 1127, 1026}, WindowAction::Record, 0},
        {{1005, 1128, 1025}, WindowAction::Play, 0},
        {{1002, 1129, 1027}, WindowAction::Pause, 0},
        {{1003, 1130, 1029}, WindowAction::Restart, 0},
        {{1004, 1131, 1028}, WindowAction::Stop, 0},
        {{1007, 1019, 1036}, WindowAction::Options, 0},
        {{1020}, WindowAction::Options, 1},
        {{1023}, WindowAction::Options, 4},
        {{1009, 1035}, WindowAction::OpenRecordings, 0},
        {{1014, 1031}, WindowAction::ToggleToolbar, 0},
        {{1015, 1033}, WindowAction::ToggleButtons, 0},
        {{1016, 1034}, WindowAction::ToggleStatusBar, 0},
        {{1110}, WindowAction::StatusBarMenu, 0},
        {{1012}, WindowAction::Launch, 2},
        {{801}, WindowAction::ExitTurnOff, 0},
        {{802}, WindowAction::ExitToTray, 0},
        {{1030, 1100, 0}, WindowAction::None, 0},
    };
    for (const auto& row : rows) {
        for (int command : row.commands) {
            const RoutedCommand routed = RouteCommand(command);
            EXPECT_EQ(routed.action, row.action) << command;
            EXPECT_EQ(routed.page, row.page) << command;
        }
    }
}

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
