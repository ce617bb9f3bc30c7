#pragma once

#include "settings/setting_names.h"

class QWidget;

namespace sonaro {

class SettingsStore;

// The placement record of a resizable secondary window: the left, top, width and height of its
// normal (not maximised) rectangle and whether it is maximised, in a section of its own.
struct WindowPlacementSettings {
    IntSetting x, y, width, height;
    BoolSetting maximized;
};

// Gives the window its stored rectangle and state; call before it is shown. A stored size below
// the window's minimum is raised to it and written back. A rectangle that lies on another screen
// than the parent's goes to the top-left corner of the parent screen's work area; one that lies
// on no screen (a monitor that is gone) goes there on the primary screen. The size is kept,
// cut to that work area.
void RestoreWindowPlacement(QWidget& window, SettingsStore& settings,
                            const WindowPlacementSettings& placement);

// Stores the window's normal rectangle and whether it is maximised.
void SaveWindowPlacement(const QWidget& window, SettingsStore& settings,
                         const WindowPlacementSettings& placement);

}  // namespace sonaro
