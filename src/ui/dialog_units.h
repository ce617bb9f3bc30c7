#pragma once

#include <QFontMetrics>

namespace sonaro {

// Dialog units of a font: a horizontal unit is a quarter of the average character width, a
// vertical unit an eighth of the line height. Sizes given in units follow the user's font size.
inline int DluX(const QFontMetrics& metrics, int units) {
    return units * metrics.averageCharWidth() / 4;
}

inline int DluY(const QFontMetrics& metrics, int units) {
    return units * metrics.height() / 8;
}

}  // namespace sonaro
