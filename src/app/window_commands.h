#pragma once

namespace sonaro {

// Command numbers of the main window's menus, buttons and tray menu.
namespace cmd {
inline constexpr int kHelpContents = 9;
inline constexpr int kAbout = 9020;
inline constexpr int kExitTurnOff = 801;
inline constexpr int kExitToTray = 802;
inline constexpr int kRecord = 1001;
inline constexpr int kPause = 1002;
inline constexpr int kRestart = 1003;
inline constexpr int kStopAndMarkDone = 1004;
inline constexpr int kPlay = 1005;
inline constexpr int kSetupWizard = 1006;
inline constexpr int kOptions = 1007;
inline constexpr int kRecordingsWindow = 1009;
inline constexpr int kLaunchFirst = 1010;
inline constexpr int kLaunchLast = 1013;
inline constexpr int kViewToolbar = 1014;
inline constexpr int kViewButtons = 1015;
inline constexpr int kViewStatusBar = 1016;
inline constexpr int kFloat = 1018;
inline constexpr int kOptionsRecord = 1019;
inline constexpr int kOptionsOutput = 1020;
inline constexpr int kOptionsTransmit = 1021;
inline constexpr int kOptionsGeneral = 1022;
inline constexpr int kOptionsKeys = 1023;
inline constexpr int kTrayOpen = 1024;
inline constexpr int kTrayPlay = 1025;
inline constexpr int kTrayRecord = 1026;
inline constexpr int kTrayPause = 1027;
inline constexpr int kTrayStop = 1028;
inline constexpr int kTrayRestart = 1029;
inline constexpr int kHideToolbar = 1031;
inline constexpr int kHideButtons = 1033;
inline constexpr int kHideStatusBar = 1034;
inline constexpr int kToolbarRecordings = 1035;
inline constexpr int kToolbarOptions = 1036;
inline constexpr int kToolbarMenu = 1108;
inline constexpr int kButtonMenu = 1109;
inline constexpr int kStatusBarMenu = 1110;
inline constexpr int kButtonRecord = 1127;
inline constexpr int kButtonPlay = 1128;
inline constexpr int kButtonPause = 1129;
inline constexpr int kButtonGoToStart = 1130;
inline constexpr int kButtonStop = 1131;
}  // namespace cmd

// What a command of the main window does.
enum class WindowAction {
    None,
    Record,
    Play,
    Pause,
    Restart,
    Stop,
    Options,  // with the page in RoutedCommand::page
    SetupWizard,
    OpenRecordings,
    ToggleToolbar,
    ToggleButtons,
    ToggleStatusBar,
    ToggleFloat,
    ToolbarMenu,
    ButtonMenu,
    StatusBarMenu,
    Restore,
    Launch,  // with the program's index 0..3 in RoutedCommand::page
    ExitTurnOff,
    ExitToTray,
    About,
    HelpContents,
};

struct RoutedCommand {
    WindowAction action = WindowAction::None;
    int page = 0;
};

// The main window's routing table: menu items, buttons and tray items to actions.
RoutedCommand RouteCommand(int command);

// The state the tray menu's enabling follows.
struct RecorderStatus {
    bool captureRunning = false;    // waiting for voice or recording
    bool captureRecording = false;  // recording (not waiting)
    bool sessionPaused = false;
    bool playerPlaying = false;
    bool playerPaused = false;
};

struct TrayEnabling {
    bool play = false;
    bool record = false;
    bool pause = false;
    bool stop = false;
    bool restart = false;

    bool operator==(const TrayEnabling&) const = default;
};

TrayEnabling TrayItemsEnabled(const RecorderStatus& status);

}  // namespace sonaro
