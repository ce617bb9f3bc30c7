#pragma once

#include <QAction>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/session_commands.h"
#include "platform/qt_ui_dispatcher.h"
#include "support/session_rig.h"
#include "ui/collapsible_panel.h"
#include "ui/main_menu_bar.h"
#include "ui/main_window.h"
#include "ui/qt_key_codes.h"
#include "ui/status_display.h"
#include "ui/transport_buttons.h"
#include "ui/tray_controller.h"
#include "ui/voice_level_meter.h"
#include "widget_driving.h"

namespace sonaro::test {

// Session commands that go nowhere, for a window without a session; Done calls are counted.
class CountingCommands final : public RecordingCommands {
  public:
    int done = 0;
    bool Record(int) override { return false; }
    bool RecordToFile(const std::string&, int) override { return false; }
    void Pause() override {}
    void Restart() override {}
    void Done() override { ++done; }
};

// A main window over a real recording session (see SessionRig) driven by the Qt event loop.
class WindowRig {
  public:
    explicit WindowRig(std::vector<ScriptedInput> inputs = {SessionRig::Microphone(0.5)})
        : core(dispatcher, std::move(inputs)),
          commands(core.session),
          application(core.settings, core.formats, commands) {}

    MainWindow& open() {
        window = std::make_unique<MainWindow>(application, settings);
        MainWindow::Services services;
        services.devices = &core.devices;
        services.dispatcher = &dispatcher;
        services.formats = &core.formats;
        window->SetServices(std::move(services));
        window->AttachSession(core.session, core.naming);
        return *window;
    }

    // Opens the window and shows it: false when it never became exposed.
    bool show() {
        open().show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    QtUiDispatcher dispatcher;
    SessionRig core;
    SettingsStore& settings = core.settings;
    LRecordingSession& session = core.session;
    SessionCommands commands;
    Application application;
    std::unique_ptr<MainWindow> window;
    const std::vector<std::string>& opened = core.opened;
};

// A part of `window` by its type, and by object name where the type is not enough.
template <typename Part>
Part* PartOf(QWidget& window, const char* name = nullptr) {
    return window.findChild<Part*>(name == nullptr ? QString() : QString::fromLatin1(name));
}

// The window's parts, as the tests reach them.
struct WindowParts {
    explicit WindowParts(QWidget& shown) : window(shown) {}

    QAction* toolbarAction(int command) const {
        for (QAction* action : toolbar->actions()) {
            if (action->data().toInt() == command) {
                return action;
            }
        }
        return nullptr;
    }

    QWidget& window;
    MainMenuBar* menu = PartOf<MainMenuBar>(window);
    TrayController* tray = PartOf<TrayController>(window);
    TransportButtons* transport = PartOf<TransportButtons>(window);
    VoiceLevelMeter* meter = PartOf<VoiceLevelMeter>(window);
    StatusDisplay* display = PartOf<StatusDisplay>(window);
    CollapsiblePanel* inputPanel = PartOf<CollapsiblePanel>(window, "inputPanel");
    CollapsiblePanel* outputPanel = PartOf<CollapsiblePanel>(window, "outputPanel");
    QToolBar* toolbar = PartOf<QToolBar>(window);
    QStatusBar* statusBar = PartOf<QStatusBar>(window);
    ShortcutFilter* shortcuts = PartOf<ShortcutFilter>(window);
    QLineEdit* folder = PartOf<QLineEdit>(window, "outputFolder");
};

}  // namespace sonaro::test
