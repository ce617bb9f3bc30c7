#include "ui/options_dialog.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/general_options_page.h"
#include "ui/hot_keys_page.h"
#include "ui/output_options_page.h"
#include "ui/record_options_page.h"
#include "ui/transmit_options_page.h"

namespace sonaro {

OptionsDialog::OptionsDialog(OptionsServices& services, int page, QWidget* parent)
    : QDialog(parent), m_services(services), m_tabs(new QTabWidget(this)) {
    setWindowTitle(QStringLiteral("Sonaro Options"));
    m_pages[kRecord] = new RecordOptionsPage(services, m_tabs);
    m_pages[kOutput] = new OutputOptionsPage(services, m_tabs);
    m_pages[kTransmit] = new TransmitOptionsPage(services, m_tabs);
    m_pages[kGeneral] = new GeneralOptionsPage(services, m_tabs);
    m_pages[kHotKeys] = new HotKeysPage(services, m_tabs);
    const char* titles[kPageCount] = {"Record", "Output", "Transmit", "General", "Hot-Keys"};
    for (int i = 0; i < kPageCount; ++i) {
        m_tabs->addTab(m_pages[i], QString::fromUtf8(titles[i]));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    connect(m_tabs, &QTabWidget::currentChanged, this, &OptionsDialog::pageShown);
    const int start = page >= 0 && page < kPageCount ? page : kRecord;
    m_tabs->setCurrentIndex(start);
    pageShown(start);
}

void OptionsDialog::pageShown(int index) {
    if (auto* shown = qobject_cast<OptionsPage*>(m_pages[static_cast<std::size_t>(index)])) {
        shown->EnsureLoaded();
    }
}

void OptionsDialog::accept() {
    for (int i = 0; i < kPageCount; ++i) {
        auto* options = qobject_cast<OptionsPage*>(m_pages[static_cast<std::size_t>(i)]);
        if (options == nullptr) {
            continue;
        }
        if (!options->Save()) {
            m_tabs->setCurrentIndex(i);
            return;
        }
    }
    QDialog::accept();
}

bool ShowOptions(QWidget* owner, OptionsServices& services, int page) {
    OptionsDialog dialog(services, page, owner);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace sonaro
