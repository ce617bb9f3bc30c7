#pragma once

#include <QWidget>

class QToolButton;

namespace sonaro {

// A titled strip that shows its content when expanded; collapsed, the title carries a one-line
// summary instead. Clicking the strip toggles it.
class CollapsiblePanel : public QWidget {
    Q_OBJECT

  public:
    CollapsiblePanel(const QString& title, const QString& toolTip, QWidget* parent = nullptr);

    // The panel takes ownership of `content`.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }
    void setSummary(const QString& summary);
    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    QToolButton* header() const { return m_header; }

  signals:
    void expandedChanged(bool expanded);

  private:
    void updateHeader();

    QToolButton* m_header = nullptr;
    QWidget* m_content = nullptr;
    QString m_title;
    QString m_summary;
    bool m_expanded = false;
};

}  // namespace sonaro
