#include "ui/main_menu_bar.h"

#include "app/window_commands.h"

namespace sonaro {

MainMenuBar::MainMenuBar(QWidget* parent) : QMenuBar(parent) {
    buildFileMenu();
    buildViewMenu();
    buildOptionsMenu();
    buildHelpMenu();
}

QAction* MainMenuBar::add(QMenu* menu, const char* text, int id, const char* shortcut,
                          bool checkable) {
    QString label = QString::fromLatin1(text);
    if (shortcut != nullptr) {
        // The text after the tab is shown as the accelerator; the keys themselves are handled
        // by the window's shortcut table, so that held keys do not repeat the command.
        label += QLatin1Char('\t') + QString::fromLatin1(shortcut);
    }
    QAction* action = menu->addAction(label);
    action->setData(id);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
    m_items[id] = action;
    return action;
}

void MainMenuBar::buildFileMenu() {
    QMenu* file = addMenu(QStringLiteral("&File"));
    add(file, "&Play", cmd::kPlay, "Space");
    add(file, "&Record", cmd::kRecord, "F5");
    add(file, "&Pause", cmd::kPause, "F6");
    add(file, "Res&tart", cmd::kRestart, "Home");
    add(file, "&Stop and Mark done", cmd::kStopAndMarkDone, "F7");
    file->addSeparator();
    add(file, "Run Audio Setup Wizard...", cmd::kSetupWizard);
    add(file, "Options...", cmd::kOptions);
    file->addSeparator();
    QMenu* launch = file->addMenu(QStringLiteral("Launch"));
    add(launch, "Moldra Sound Editor", cmd::kLaunchFirst);
    add(launch, "Discor CD Recorder", cmd::kLaunchFirst + 1);
    add(launch, "Cindle CD Ripper", cmd::kLaunchFirst + 2);
    add(launch, "Convro Sound Format Converter", cmd::kLaunchFirst + 3);
    file->addSeparator();
    add(file, "Exit (Close to Tray)", cmd::kExitToTray);
    add(file, "Exit (Turn Off)", cmd::kExitTurnOff);
}

void MainMenuBar::buildViewMenu() {
    QMenu* view = addMenu(QStringLiteral("&View"));
    add(view, "Toolbar", cmd::kViewToolbar, nullptr, true);
    add(view, "Buttons", cmd::kViewButtons, nullptr, true);
    add(view, "Status Bar", cmd::kViewStatusBar, nullptr, true);
    add(view, "&Recordings Window", cmd::kRecordingsWindow, "Ctrl+L");
    view->addSeparator();
    add(view, "Float Above Other Windows", cmd::kFloat, nullptr, true);
}

void MainMenuBar::buildOptionsMenu() {
    QMenu* options = addMenu(QStringLiteral("&Options"));
    add(options, "&Record", cmd::kOptionsRecord);
    add(options, "Out&put", cmd::kOptionsOutput);
    add(options, "&Transmit", cmd::kOptionsTransmit);
    add(options, "&General", cmd::kOptionsGeneral);
    add(options, "Keys", cmd::kOptionsKeys);
}

void MainMenuBar::buildHelpMenu() {
    m_help = addMenu(QStringLiteral("&Help"));
    add(m_help, "&Help Contents", cmd::kHelpContents, "F1");
    m_help->addSeparator();
    add(m_help, "&About Sonaro Sound Recorder...", cmd::kAbout);
}

QAction* MainMenuBar::item(int command) const {
    const auto found = m_items.find(command);
    return found == m_items.end() ? nullptr : found->second;
}

void MainMenuBar::setChecked(int command, bool checked) {
    if (QAction* action = item(command)) {
        action->setChecked(checked);
    }
}

void MainMenuBar::setItemEnabled(int command, bool enabled) {
    if (QAction* action = item(command)) {
        action->setEnabled(enabled);
    }
}

}  // namespace sonaro
