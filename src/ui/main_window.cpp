#include "ui/main_window.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sonaro {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Ready"), this));
}

}  // namespace sonaro
