// The main window's input and output panels: the record device and channel, the output format
// and the output folder.

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "record/input_selection.h"
#include "settings/settings_store.h"
#include "ui/collapsible_panel.h"
#include "ui/dialog_units.h"
#include "ui/main_window.h"

namespace sonaro {
namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MainWindow::createInputPanel() {
    m_inputPanel = new CollapsiblePanel(
        tr("Input"), tr("Select the input device and channel. Click to expand."), this);
    m_inputPanel->setObjectName(QStringLiteral("inputPanel"));
    auto* content = new QWidget;
    auto* form = new QFormLayout(content);
    form->setContentsMargins(DluX(fontMetrics(), 8), 0, DluX(fontMetrics(), 6), 4);
    m_deviceList = new QComboBox(content);
    m_sourceList = new QComboBox(content);
    form->addRow(tr("Record device:"), m_deviceList);
    form->addRow(tr("Input channel:"), m_sourceList);
    m_inputPanel->setContent(content);
    connect(m_deviceList, &QComboBox::activated, this, &MainWindow::onDeviceChosen);
    connect(m_sourceList, &QComboBox::activated, this, &MainWindow::onDeviceChosen);
    connect(m_inputPanel, &CollapsiblePanel::expandedChanged, this, &MainWindow::relayout);
    m_layout->addWidget(m_inputPanel);
}

void MainWindow::createOutputPanel() {
    m_outputPanel = new CollapsiblePanel(
        tr("Output"), tr("Select format and output directory. Click to expand."), this);
    m_outputPanel->setObjectName(QStringLiteral("outputPanel"));
    auto* content = new QWidget;
    auto* form = new QFormLayout(content);
    form->setContentsMargins(DluX(fontMetrics(), 8), 0, DluX(fontMetrics(), 6), 4);
    m_formatList = new QComboBox(content);
    for (const FormatExtension& format : kFormatExtensions) {
        m_formatList->addItem(QString::fromLatin1(format.name.data(), format.name.size()));
    }
    m_formatSettings = new QPushButton(tr("Settings..."), content);
    m_formatSettings->setVisible(false);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(m_formatList, 1);
    formatRow->addWidget(m_formatSettings);
    m_folderField = new QLineEdit(content);
    m_folderField->setObjectName(QStringLiteral("outputFolder"));
    m_browse = new QPushButton(tr("Browse..."), content);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folderField, 1);
    folderRow->addWidget(m_browse);
    form->addRow(tr("Format:"), formatRow);
    form->addRow(tr("Folder:"), folderRow);
    m_outputPanel->setContent(content);
    connect(m_outputPanel, &CollapsiblePanel::expandedChanged, this, &MainWindow::relayout);
    connect(m_formatList, &QComboBox::activated, this, [this](int index) {
        if (m_services.formats != nullptr) {
            m_services.formats->SetOutputFormat(static_cast<OutputFormat>(index));
            showChosenFormat();
        }
        refreshOutputSummary();
    });
    connect(m_formatSettings, &QPushButton::clicked, this, [this] {
        if (m_presenter.sessionIdle() && m_services.formatSettings) {
            m_services.formatSettings();
            showChosenFormat();
        }
    });
    connect(m_folderField, &QLineEdit::editingFinished, this, &MainWindow::onFolderEdited);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, tr("Output Folder"), m_folderField->text());
        if (!folder.isEmpty()) {
            m_folderField->setText(folder);
            onFolderEdited();
        }
    });
    m_layout->addWidget(m_outputPanel);
}

void MainWindow::fillInputPanel() {
    if (m_services.devices == nullptr) {
        return;
    }
    const InputSelection selection = LoadInputSelection(m_settings, *m_services.devices);
    m_deviceList->clear();
    for (const std::string& name : DeviceListItems(*m_services.devices)) {
        m_deviceList->addItem(qt(name));
    }
    m_deviceList->setCurrentIndex(std::min(selection.deviceNumber, m_deviceList->count() - 1));
    fillSourceList();
    m_sourceList->setCurrentIndex(std::min(selection.sourceNumber, m_sourceList->count() - 1));
    m_inputPanel->setSummary(m_deviceList->currentText());
}

void MainWindow::fillSourceList() {
    m_sourceList->clear();
    for (const std::string& name :
         SourceListItems(*m_services.devices, std::max(m_deviceList->currentIndex(), 0))) {
        m_sourceList->addItem(qt(name));
    }
}

void MainWindow::onDeviceChosen() {
    if (m_services.devices == nullptr) {
        return;
    }
    if (sender() == m_deviceList) {
        const int kept = std::max(m_sourceList->currentIndex(), 0);
        fillSourceList();
        m_sourceList->setCurrentIndex(kept < m_sourceList->count() ? kept : 0);
    }
    const InputSelection selection{std::max(m_deviceList->currentIndex(), 0),
                                   std::max(m_sourceList->currentIndex(), 0)};
    SaveInputSelection(m_settings, *m_services.devices, selection);
    m_inputPanel->setSummary(m_deviceList->currentText());
}

void MainWindow::onFolderEdited() {
    if (m_naming == nullptr) {
        return;
    }
    const std::string folder = m_folderField->text().trimmed().toStdString();
    if (folder == m_naming->GetOutputFolder()) {
        return;
    }
    if (m_naming->ValidateOutputFolder(folder, m_prompter)) {
        m_settings.Write(setting::kDefaultRecordFolder, folder);
        m_presenter.CheckFreeSpace();
    }
    showFolder(m_naming->GetOutputFolder());
}

void MainWindow::refreshPanels() {
    fillInputPanel();
    if (m_services.formats != nullptr) {
        m_formatList->setCurrentIndex(static_cast<int>(m_services.formats->GetOutputFormat()));
    }
    if (m_naming != nullptr) {
        m_folderField->setText(qt(m_naming->GetOutputFolder()));
    }
    refreshOutputSummary();
}

void MainWindow::refreshOutputSummary() {
    m_outputPanel->setSummary(m_formatList->currentText() + QStringLiteral("  \u2013  ") +
                              m_folderField->text());
}

}  // namespace sonaro
