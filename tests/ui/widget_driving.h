#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <initializer_list>

#include "audio/level_set.h"
#include "ui/balloon_tip.h"

namespace sonaro::test {

inline constexpr int kDialogGraceMs = 5000;

// Runs `act` on the first visible dialog of type T once it shows (modal dialogs block the test).
template <typename T, typename Act>
void WhenShown(Act act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(dialog);
                // A dialog that stayed open would block the test for good: it is closed, and
                // the test's own checks then fail.
                QTimer::singleShot(kDialogGraceMs, dialog, [dialog] {
                    if (dialog->isVisible()) {
                        dialog->reject();
                    }
                });
                return;
            }
        }
    });
    poll->start(10);
}

// Chooses the first item of the next popup menu once it is open, and remembers its text.
inline void ChooseFromNextMenu(QString* text = nullptr) {
    QTimer::singleShot(50, [text] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* menu = qobject_cast<QMenu*>(widget);
            if (menu != nullptr && menu->isVisible() && !menu->actions().isEmpty()) {
                if (text != nullptr) {
                    *text = menu->actions().first()->text();
                }
                QTest::mouseClick(menu, Qt::LeftButton, {},
                                  menu->actionGeometry(menu->actions().first()).center());
                return;
            }
        }
    });
}

inline void RightClick(QWidget* widget, QPoint where = QPoint(5, 5)) {
    QContextMenuEvent click(QContextMenuEvent::Mouse, where, widget->mapToGlobal(where));
    QApplication::sendEvent(widget, &click);
}

// Presses OK: true when the dialog took its values and closed.
inline bool Accepts(QDialog& dialog) {
    dialog.accept();
    return dialog.result() == QDialog::Accepted;
}

// The balloon tip on show: its title, its text and the field it points at.
struct ShownBalloon {
    QString title;
    QString text;
    const QWidget* field = nullptr;

    static ShownBalloon Current() {
        BalloonTip* tip = BalloonTip::Current();
        if (tip == nullptr || !tip->isVisible()) {
            return {};
        }
        return {tip->title(), tip->text(), tip->field()};
    }
    bool operator==(const ShownBalloon&) const = default;
};

// Presses OK on a dialog that should refuse its values: the balloon that says why, or one titled
// "accepted" when it took them.
inline ShownBalloon RefusalOf(QDialog& dialog) {
    return Accepts(dialog) ? ShownBalloon{QStringLiteral("accepted"), {}, nullptr}
                           : ShownBalloon::Current();
}

inline char* toString(const ShownBalloon& balloon) {
    const QString field = balloon.field == nullptr
                              ? QStringLiteral("nothing")
                              : QLatin1String(balloon.field->metaObject()->className()) + " \"" +
                                    balloon.field->objectName() + "\"";
    return QTest::toString(
        QStringLiteral("\"%1\" / \"%2\" at %3").arg(balloon.title, balloon.text, field));
}

inline LevelSet LevelsOf(std::initializer_list<int> values) {
    LevelSet set;
    set.count = static_cast<std::uint8_t>(values.size());
    int i = 0;
    for (int value : values) {
        set.levels[i++] = static_cast<std::int8_t>(value);
    }
    return set;
}

// Saves a picture of `widget` as <build>/screenshots/<name>.
inline bool SaveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(SONARO_BINARY_DIR) + "/screenshots";
    QDir().mkpath(folder);
    QApplication::processEvents();
    return widget.grab().save(folder + "/" + name);
}

}  // namespace sonaro::test
