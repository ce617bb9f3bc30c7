#pragma once

#include <QDialog>

#include <array>

#include "ui/options_services.h"

class QTabWidget;

namespace sonaro {

class OptionsPage;

// "Sonaro Options": the tabbed options dialog. Pages in tab order (the numbers ShowOptions
// takes): 0 "Record", 1 "Output", 2 "Transmit", 3 "General", 4 "Hot-Keys". A page reads its
// settings when first shown; OK saves every page that was shown, in order, and stays open on the
// first page that refuses.
class OptionsDialog final : public QDialog {
    Q_OBJECT

  public:
    enum Page : int { kRecord = 0, kOutput = 1, kTransmit = 2, kGeneral = 3, kHotKeys = 4 };
    static constexpr int kPageCount = 5;

    OptionsDialog(OptionsServices& services, int page, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return m_tabs; }
    template <typename PageType>
    PageType* page(Page number) const {
        return qobject_cast<PageType*>(m_pages[number]);
    }

    void accept() override;

  private:
    void pageShown(int index);

    OptionsServices& m_services;
    QTabWidget* m_tabs;
    std::array<QWidget*, kPageCount> m_pages{};
};

// `ShowOptions`: shows the dialog modally at `page`; true when closed with OK.
bool ShowOptions(QWidget* owner, OptionsServices& services, int page);

}  // namespace sonaro
