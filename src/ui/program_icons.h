#pragma once

#include <QIcon>

namespace sonaro {

// The program's images, drawn for it as SVG resources. The window and tray icons keep their
// resource numbers, which the recording session passes to SetTrayState.
enum class ProgramImage {
    Normal = 1,
    RecordingA = 5,
    RecordingB = 6,
    PausedOrWaiting = 7,
    Play = 29,
    PlayBusy = 30,
    Record,
    Pause,
    Stop,
    GoToStart,
    Recordings,
    Options,
    Help,
};

// The image at the usual icon sizes; a null icon when the resource cannot be drawn.
QIcon ProgramIcon(ProgramImage image);
// The window icon of resource `number` (1, 5, 6 or 7); any other number gives icon 1.
QIcon WindowIconForResource(int number);

}  // namespace sonaro
