#include <QApplication>

#include <cstdlib>

#include "platform/program_paths.h"
#include "platform/sqlite_settings_backend.h"
#include "settings/settings_store.h"
#include "ui/main_window.h"

namespace {

// Without a display the program still records from the command line: Qt renders offscreen.
void chooseOffscreenWithoutDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    chooseOffscreenWithoutDisplay();
    QApplication application(argc, argv);
    const auto paths = sonaro::ProgramPaths::FromEnvironment();
    sonaro::SqliteSettingsBackend backend(paths.userRegistry, paths.machineRegistry);
    sonaro::SettingsStore settings(backend);

    sonaro::MainWindow window;
    window.show();
    return QApplication::exec();
}
