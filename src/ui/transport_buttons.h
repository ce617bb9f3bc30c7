#pragma once

#include <QWidget>

#include <array>

class QToolButton;

namespace sonaro {

// The row of transport buttons: Play, Record, Pause, Stop and Go to Start, each one fifth of the
// window's width less 12 dialog units and 19 units high, with images and tooltips. A lit button
// shows pressed; Play shows a busy image while recording. Clicks and right-clicks go out as the
// main window's command numbers.
class TransportButtons : public QWidget {
    Q_OBJECT

  public:
    enum class Button { Play = 0, Record, Pause, Stop, GoToStart };

    explicit TransportButtons(QWidget* parent = nullptr);

    QToolButton* button(Button which) const { return m_buttons[static_cast<int>(which)]; }
    void setLit(Button which, bool lit);
    bool isLit(Button which) const;
    void setPlayBusy(bool busy);
    bool playBusy() const { return m_playBusy; }
    // Sizes the buttons for a window `windowWidth` pixels wide.
    void layoutFor(int windowWidth);

  signals:
    void command(int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::array<QToolButton*, 5> m_buttons{};
    bool m_playBusy = false;
};

}  // namespace sonaro
