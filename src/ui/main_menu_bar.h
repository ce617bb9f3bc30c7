#pragma once

#include <QMenuBar>

#include <map>

namespace sonaro {

// The main window's menu bar with every item, its accelerator text and check marks. Items carry
// the window's command numbers; choosing one emits `command`.
class MainMenuBar : public QMenuBar {
    Q_OBJECT

  public:
    explicit MainMenuBar(QWidget* parent = nullptr);

    // The item of `command`; null when the menu has none.
    QAction* item(int command) const;
    void setChecked(int command, bool checked);
    void setItemEnabled(int command, bool enabled);
    QMenu* helpMenu() const { return m_help; }

  signals:
    void command(int id);

  private:
    QAction* add(QMenu* menu, const char* text, int id, const char* shortcut = nullptr,
                 bool checkable = false);
    void buildFileMenu();
    void buildViewMenu();
    void buildOptionsMenu();
    void buildHelpMenu();

    std::map<int, QAction*> m_items;
    QMenu* m_help = nullptr;
};

}  // namespace sonaro
