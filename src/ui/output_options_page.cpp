#include "ui/output_options_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "record/output_options.h"
#include "ui/balloon_tip.h"
#include "ui/naming_dialogs.h"

namespace sonaro {
namespace {

enum Group { kNameGroup = 0, kFolderGroup = 1 };

}  // namespace

OutputOptionsPage::OutputOptionsPage(OptionsServices& services, QWidget* parent)
    : OptionsPage(services, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFormatFrame());
    layout->addWidget(buildFolderFrame());
    layout->addWidget(buildNameFrame());
    layout->addStretch(1);
    watch(m_format, kNameGroup);
    watch(m_prompt, kNameGroup);
    watch(m_usePattern, kNameGroup);
    watch(m_pattern, kNameGroup);
    watch(m_folder, kFolderGroup);
    connect(m_formatSettings, &QPushButton::clicked, this, [this] {
        if (m_services.showFormatOptions) {
            m_services.showFormatOptions(static_cast<OutputFormat>(m_format->currentIndex()), this);
        }
    });
    connect(m_browse, &QPushButton::clicked, this, &OutputOptionsPage::browse);
    connect(m_viewSample, &QPushButton::clicked, this, &OutputOptionsPage::showSample);
    connect(m_reset, &QPushButton::clicked, this, [this] { ResetAutoNumber(m_services.settings); });
}

QWidget* OutputOptionsPage::buildFormatFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Output Format"), this);
    auto* row = new QHBoxLayout(frame);
    m_format = new QComboBox(frame);
    for (const FormatExtension& format : kFormatExtensions) {
        m_format->addItem(ToQt(format.name));
    }
    m_formatSettings = new QPushButton(QStringLiteral("Format Settings..."), frame);
    row->addWidget(m_format, 1);
    row->addWidget(m_formatSettings);
    return frame;
}

QWidget* OutputOptionsPage::buildFolderFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Destination Folder"), this);
    auto* row = new QHBoxLayout(frame);
    m_folder = new QLineEdit(frame);
    m_browse = new QPushButton(QStringLiteral("..."), frame);
    m_browse->setMaximumWidth(40);
    row->addWidget(m_folder, 1);
    row->addWidget(m_browse);
    return frame;
}

QWidget* OutputOptionsPage::buildNameFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Output File Name"), this);
    auto* layout = new QVBoxLayout(frame);
    m_prompt = new QRadioButton(QStringLiteral("Prompt for file name"), frame);
    m_usePattern = new QRadioButton(QStringLiteral("Use this:"), frame);
    auto* choice = new QButtonGroup(frame);
    choice->addButton(m_prompt);
    choice->addButton(m_usePattern);
    m_pattern = new QLineEdit(frame);
    m_viewSample = new QPushButton(QStringLiteral("View Sample"), frame);
    auto* patternRow = new QHBoxLayout;
    patternRow->addWidget(m_usePattern);
    patternRow->addWidget(m_pattern, 1);
    patternRow->addWidget(m_viewSample);
    layout->addWidget(m_prompt);
    layout->addLayout(patternRow);
    for (const char* line : {"File name format can be in these forms:",
                             "-Date time: [text] [%YYYY%] [%MM%] [%DD%] [%HH%] [%MIN%] %SS% [text]",
                             "-Auto Increase Number: [text] %autonumber%"}) {
        auto* label = new QLabel(QString::fromUtf8(line), frame);
        layout->addWidget(label);
        m_helpLines.append(label);
    }
    m_reset = new QPushButton(QStringLiteral("Reset Auto Number"), frame);
    layout->addWidget(m_reset, 0, Qt::AlignLeft);
    return frame;
}

void OutputOptionsPage::Load() {
    const OutputOptions options =
        LoadOutputOptions(m_services.settings, m_services.formats, m_services.naming);
    m_format->setCurrentIndex(static_cast<int>(options.format));
    m_folder->setText(ToQt(options.folder));
    m_prompt->setChecked(options.promptForName);
    m_usePattern->setChecked(!options.promptForName);
    m_pattern->setText(ToQt(options.pattern));
}

void OutputOptionsPage::UpdateEnabling() {
    const bool usePattern = m_usePattern->isChecked();
    m_pattern->setEnabled(usePattern);
    m_viewSample->setEnabled(usePattern);
    for (QWidget* line : m_helpLines) {
        line->setEnabled(usePattern);
    }
    m_reset->setEnabled(usePattern);
}

std::optional<FieldComplaint> OutputOptionsPage::SaveChanged() {
    const OutputOptions options{static_cast<OutputFormat>(m_format->currentIndex()),
                                FromQt(m_folder->text()), m_prompt->isChecked(),
                                FromQt(m_pattern->text())};
    return SaveOutputOptions(m_services.settings, m_services.formats, m_services.naming,
                             m_services.prompter, m_services.ensureComponent, options,
                             groupChanged(kNameGroup), groupChanged(kFolderGroup));
}

QWidget* OutputOptionsPage::fieldWidget(int field) {
    switch (static_cast<OutputField>(field)) {
        case OutputField::Format:
            return m_format;
        case OutputField::Folder:
            return m_folder;
        case OutputField::Pattern:
            return m_pattern;
    }
    return nullptr;
}

void OutputOptionsPage::showSample() {
    const std::string pattern = FromQt(m_pattern->text());
    std::string message;
    if (!ValidateFileNamePattern(pattern, &message)) {
        BalloonTip::Show(m_pattern, ToQt(kInvalidFormatTitle), ToQt(message));
        return;
    }
    const std::string sample = m_services.naming.ExpandFileNamePattern(pattern);
    m_services.prompter.ShowMessage(
        {sample, "Sample File Name", PromptButtons::Ok, PromptIcon::Information, PromptAnswer::Ok});
}

void OutputOptionsPage::browse() {
    if (const auto folder = BrowseOutputFolder(this, m_services.naming, m_services.prompter,
                                               FromQt(m_folder->text()))) {
        m_folder->setText(ToQt(*folder));
    }
}

}  // namespace sonaro
