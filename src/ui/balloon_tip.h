#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>

class QLabel;

namespace sonaro {

// A balloon-style tip at a field: a bold title over the text, below the field, gone after a
// while or at the next click. Showing one replaces the previous one and gives the field the
// keyboard focus. Used on the user-interface thread.
class BalloonTip final : public QFrame {
    Q_OBJECT

  public:
    static constexpr int kShowMs = 10000;

    static void Show(QWidget* field, const QString& title, const QString& text);
    // The balloon on screen, if any (tests read it).
    static BalloonTip* Current();
    static void HideCurrent();

    QString title() const { return m_title; }
    QString text() const { return m_text; }
    QWidget* field() const { return m_field; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    BalloonTip(QWidget* field, const QString& title, const QString& text);

    QString m_title;
    QString m_text;
    QPointer<QWidget> m_field;
    static QPointer<BalloonTip> s_current;
};

}  // namespace sonaro
