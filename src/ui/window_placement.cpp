#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include "settings/settings_store.h"

namespace sonaro {
namespace {

// The screen that shows most of `rect`; null when none shows any of it.
QScreen* ScreenShowing(const QRect& rect) {
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(rect);
        const qint64 area = static_cast<qint64>(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

}  // namespace

void RestoreWindowPlacement(QWidget& window, SettingsStore& settings,
                            const WindowPlacementSettings& placement) {
    if (window.layout() != nullptr) {
        window.layout()->activate();
    }
    const QSize minimum = window.minimumSize().expandedTo(window.minimumSizeHint());
    int width = settings.Read(placement.width);
    int height = settings.Read(placement.height);
    if (width < minimum.width()) {
        width = minimum.width();
        settings.Write(placement.width, width);
    }
    if (height < minimum.height()) {
        height = minimum.height();
        settings.Write(placement.height, height);
    }
    QRect rect(settings.Read(placement.x), settings.Read(placement.y), width, height);

    QWidget* parent = window.parentWidget() != nullptr ? window.parentWidget()->window() : nullptr;
    QScreen* home = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    QScreen* shown = ScreenShowing(rect);
    if (home != nullptr && (shown == nullptr || (parent != nullptr && shown != home))) {
        const QRect area = home->availableGeometry();
        rect = QRect(area.topLeft(), rect.size().boundedTo(area.size()));
    }
    window.setGeometry(rect);
    if (settings.Read(placement.maximized)) {
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    }
}

void SaveWindowPlacement(const QWidget& window, SettingsStore& settings,
                         const WindowPlacementSettings& placement) {
    const bool maximized = window.isMaximized();
    const QRect normal = maximized && window.normalGeometry().isValid() ? window.normalGeometry()
                                                                        : window.geometry();
    settings.Write(placement.x, normal.x());
    settings.Write(placement.y, normal.y());
    settings.Write(placement.width, normal.width());
    settings.Write(placement.height, normal.height());
    settings.Write(placement.maximized, maximized);
}

}  // namespace sonaro
