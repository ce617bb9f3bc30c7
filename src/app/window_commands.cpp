#include "app/window_commands.h"

namespace sonaro {

RoutedCommand RouteCommand(int command) {
    switch (command) {
        case cmd::kRecord:
        case cmd::kButtonRecord:
        case cmd::kTrayRecord:
            return {WindowAction::Record};
        case cmd::kPlay:
        case cmd::kButtonPlay:
        case cmd::kTrayPlay:
            return {WindowAction::Play};
        case cmd::kPause:
        case cmd::kButtonPause:
        case cmd::kTrayPause:
            return {WindowAction::Pause};
        case cmd::kRestart:
        case cmd::kButtonGoToStart:
        case cmd::kTrayRestart:
            return {WindowAction::Restart};
        case cmd::kStopAndMarkDone:
        case cmd::kButtonStop:
        case cmd::kTrayStop:
            return {WindowAction::Stop};
        case cmd::kOptions:
        case cmd::kOptionsRecord:
        case cmd::kToolbarOptions:
            return {WindowAction::Options, 0};
        case cmd::kOptionsOutput:
        case cmd::kOptionsTransmit:
        case cmd::kOptionsGeneral:
        case cmd::kOptionsKeys:
            return {WindowAction::Options, command - cmd::kOptionsRecord};
        case cmd::kSetupWizard:
            return {WindowAction::SetupWizard};
        case cmd::kRecordingsWindow:
        case cmd::kToolbarRecordings:
            return {WindowAction::OpenRecordings};
        case cmd::kViewToolbar:
        case cmd::kHideToolbar:
            return {WindowAction::ToggleToolbar};
        case cmd::kViewButtons:
        case cmd::kHideButtons:
            return {WindowAction::ToggleButtons};
        case cmd::kViewStatusBar:
        case cmd::kHideStatusBar:
            return {WindowAction::ToggleStatusBar};
        case cmd::kFloat:
            return {WindowAction::ToggleFloat};
        case cmd::kToolbarMenu:
            return {WindowAction::ToolbarMenu};
        case cmd::kButtonMenu:
            return {WindowAction::ButtonMenu};
        case cmd::kStatusBarMenu:
            return {WindowAction::StatusBarMenu};
        case cmd::kTrayOpen:
            return {WindowAction::Restore};
        case cmd::kExitTurnOff:
            return {WindowAction::ExitTurnOff};
        case cmd::kExitToTray:
            return {WindowAction::ExitToTray};
        case cmd::kHelpContents:
            return {WindowAction::HelpContents};
        case cmd::kAbout:
            return {WindowAction::About};
        default:
            break;
    }
    if (command >= cmd::kLaunchFirst && command <= cmd::kLaunchLast) {
        return {WindowAction::Launch, command - cmd::kLaunchFirst};
    }
    return {};
}

TrayEnabling TrayItemsEnabled(const RecorderStatus& status) {
    TrayEnabling enabled;
    enabled.play = !status.captureRunning;
    enabled.record = !status.playerPlaying && !status.captureRecording;
    enabled.pause = (status.captureRunning || status.playerPlaying) && !status.sessionPaused &&
                    !status.playerPaused;
    enabled.stop = status.captureRunning || status.sessionPaused || status.playerPlaying;
    enabled.restart = enabled.stop;
    return enabled;
}

}  // namespace sonaro
