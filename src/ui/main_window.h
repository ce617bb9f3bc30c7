#pragma once

#include <QWidget>

namespace sonaro {

// The recorder's main window.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Sonaro Sound Recorder";

    explicit MainWindow(QWidget* parent = nullptr);
};

}  // namespace sonaro
