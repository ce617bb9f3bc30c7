#include "ui/program_icons.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <map>

// The resources live in a static library; registering them by hand keeps the linker from
// dropping them.
static void initProgramIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace sonaro {
namespace {

const char* resourcePath(ProgramImage image) {
    switch (image) {
        case ProgramImage::Normal:
            return ":/icons/app_normal.svg";
        case ProgramImage::RecordingA:
            return ":/icons/app_recording_a.svg";
        case ProgramImage::RecordingB:
            return ":/icons/app_recording_b.svg";
        case ProgramImage::PausedOrWaiting:
            return ":/icons/app_waiting.svg";
        case ProgramImage::Play:
            return ":/icons/play.svg";
        case ProgramImage::PlayBusy:
            return ":/icons/play_busy.svg";
        case ProgramImage::Record:
            return ":/icons/record.svg";
        case ProgramImage::Pause:
            return ":/icons/pause.svg";
        case ProgramImage::Stop:
            return ":/icons/stop.svg";
        case ProgramImage::GoToStart:
            return ":/icons/go_to_start.svg";
        case ProgramImage::Recordings:
            return ":/icons/recordings.svg";
        case ProgramImage::Options:
            return ":/icons/options.svg";
        case ProgramImage::Help:
            return ":/icons/help.svg";
    }
    return ":/icons/app_normal.svg";
}

// Rendered once per image: the recording icon blinks several times a second, and rendering the
// drawing at every size each time cost more than the recording itself. The pixmaps go with the
// application object, not after it.
std::map<ProgramImage, QIcon>& renderedIcons() {
    static std::map<ProgramImage, QIcon> rendered;
    static const bool cleared = (qAddPostRoutine([] { renderedIcons().clear(); }), true);
    (void)cleared;
    return rendered;
}

}  // namespace

QIcon ProgramIcon(ProgramImage image) {
    static const bool registered = (initProgramIconResources(), true);
    (void)registered;
    std::map<ProgramImage, QIcon>& rendered = renderedIcons();
    if (const auto found = rendered.find(image); found != rendered.end()) {
        return found->second;
    }
    QSvgRenderer renderer{QString::fromLatin1(resourcePath(image))};
    if (!renderer.isValid()) {
        return {};
    }
    QIcon icon;
    for (int size : {16, 20, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    rendered.emplace(image, icon);
    return icon;
}

QIcon WindowIconForResource(int number) {
    switch (number) {
        case 5:
            return ProgramIcon(ProgramImage::RecordingA);
        case 6:
            return ProgramIcon(ProgramImage::RecordingB);
        case 7:
            return ProgramIcon(ProgramImage::PausedOrWaiting);
        default:
            return ProgramIcon(ProgramImage::Normal);
    }
}

}  // namespace sonaro
