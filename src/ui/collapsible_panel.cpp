#include "ui/collapsible_panel.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace sonaro {

CollapsiblePanel::CollapsiblePanel(const QString& title, const QString& toolTip, QWidget* parent)
    : QWidget(parent), m_title(title) {
    m_header = new QToolButton(this);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setAutoRaise(true);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setToolTip(toolTip);
    QFont bold = m_header->font();
    bold.setBold(true);
    m_header->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_header);
    connect(m_header, &QToolButton::clicked, this, [this] { setExpanded(!m_expanded); });
    updateHeader();
}

void CollapsiblePanel::setContent(QWidget* content) {
    m_content = content;
    content->setParent(this);
    layout()->addWidget(content);
    content->setVisible(m_expanded);
}

void CollapsiblePanel::setSummary(const QString& summary) {
    m_summary = summary;
    updateHeader();
}

void CollapsiblePanel::setExpanded(bool expanded) {
    if (m_expanded == expanded) {
        return;
    }
    m_expanded = expanded;
    if (m_content != nullptr) {
        m_content->setVisible(expanded);
    }
    updateHeader();
    emit expandedChanged(expanded);
}

void CollapsiblePanel::updateHeader() {
    m_header->setArrowType(m_expanded ? Qt::DownArrow : Qt::RightArrow);
    QString text = m_title;
    if (!m_expanded && !m_summary.isEmpty()) {
        text += QStringLiteral(":  ") + m_summary;
    }
    m_header->setText(text);
}

}  // namespace sonaro
