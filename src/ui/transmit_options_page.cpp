#include "ui/transmit_options_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "transmit/transmit_options.h"
#include "ui/email_settings_dialog.h"
#include "ui/naming_dialogs.h"

namespace sonaro {
namespace {

enum Group { kMethodsGroup = 0, kPromptGroup = 1 };

QPushButton* browseButton(QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setMaximumWidth(40);
    return button;
}

}  // namespace

TransmitOptionsPage::TransmitOptionsPage(OptionsServices& services, QWidget* parent)
    : OptionsPage(services, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildMethods());
    layout->addWidget(buildPrompting());
    layout->addStretch(1);
    for (QAbstractButton* box :
         {m_sendEmail, m_sendFtp, m_ftpSecure, m_ftpPlainPassword, m_sendFolder, m_sendRun}) {
        watch(box, kMethodsGroup);
    }
    for (QLineEdit* field :
         {m_to, m_server, m_user, m_password, m_directory, m_folder, m_program}) {
        watch(field, kMethodsGroup);
    }
    watch(m_prompt, kPromptGroup);
    watch(m_automatic, kPromptGroup);
    connect(m_emailSettings, &QPushButton::clicked, this,
            [this] { ShowEmailSettingsDialog(this, m_services); });
    connect(m_browseFolder, &QPushButton::clicked, this, &TransmitOptionsPage::browseForFolder);
    connect(m_browseProgram, &QPushButton::clicked, this, &TransmitOptionsPage::browseForProgram);
}

QLabel* TransmitOptionsPage::label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

QWidget* TransmitOptionsPage::buildMethods() {
    auto* frame = new QGroupBox(QStringLiteral("Transmit Methods"), this);
    auto* grid = new QGridLayout(frame);
    int row = 0;
    m_sendEmail =
        new QCheckBox(QStringLiteral("Send Recordings by Email (as an attachment)"), frame);
    grid->addWidget(m_sendEmail, row++, 0, 1, 3);
    QLabel* toLabel = label("To Email Address:", frame);
    m_to = new QLineEdit(frame);
    m_emailSettings = new QPushButton(QStringLiteral("Settings..."), frame);
    grid->addWidget(toLabel, row, 0);
    grid->addWidget(m_to, row, 1);
    grid->addWidget(m_emailSettings, row++, 2);
    m_emailWidgets = {toLabel, m_to, m_emailSettings};

    m_sendFtp = new QCheckBox(QStringLiteral("Upload Recording to the Internet using FTP"), frame);
    grid->addWidget(m_sendFtp, row++, 0, 1, 3);
    m_server = new QLineEdit(frame);
    m_user = new QLineEdit(frame);
    m_password = new QLineEdit(frame);
    m_password->setEchoMode(QLineEdit::Password);
    m_directory = new QLineEdit(frame);
    const std::pair<const char*, QLineEdit*> ftpFields[] = {{"FTP Server:", m_server},
                                                            {"User Name:", m_user},
                                                            {"Password:", m_password},
                                                            {"Directory:", m_directory}};
    for (const auto& [text, field] : ftpFields) {
        QLabel* fieldLabel = label(text, frame);
        grid->addWidget(fieldLabel, row, 0);
        grid->addWidget(field, row++, 1);
        m_ftpWidgets << fieldLabel << field;
    }
    m_ftpSecure =
        new QCheckBox(QStringLiteral("Use secure connection (SSL/TLS) if available"), frame);
    m_ftpPlainPassword = new QCheckBox(
        QStringLiteral("Send the password even when the connection is not secure (anyone on "
                       "the network could read it)"),
        frame);
    for (QCheckBox* box : {m_ftpSecure, m_ftpPlainPassword}) {
        grid->addWidget(box, row++, 1, 1, 2);
        m_ftpWidgets << box;
    }

    m_sendFolder = new QCheckBox(
        QStringLiteral("Mirror Recordings to this folder (eg.network or backup drive)"), frame);
    grid->addWidget(m_sendFolder, row++, 0, 1, 3);
    m_folder = new QLineEdit(frame);
    m_browseFolder = browseButton(frame);
    grid->addWidget(m_folder, row, 0, 1, 2);
    grid->addWidget(m_browseFolder, row++, 2);

    m_sendRun = new QCheckBox(
        QStringLiteral("Run external exe (advanced option, use %s for audio file path)"), frame);
    grid->addWidget(m_sendRun, row++, 0, 1, 3);
    m_program = new QLineEdit(frame);
    m_browseProgram = browseButton(frame);
    grid->addWidget(m_program, row, 0, 1, 2);
    grid->addWidget(m_browseProgram, row++, 2);
    return frame;
}

QWidget* TransmitOptionsPage::buildPrompting() {
    auto* frame = new QGroupBox(QStringLiteral("Prompting"), this);
    auto* row = new QHBoxLayout(frame);
    m_prompt = new QRadioButton(QStringLiteral("Prompt for confirmation"), frame);
    m_automatic = new QRadioButton(QStringLiteral("Run automatically"), frame);
    auto* choice = new QButtonGroup(frame);
    choice->addButton(m_prompt);
    choice->addButton(m_automatic);
    row->addWidget(m_prompt);
    row->addWidget(m_automatic);
    row->addStretch(1);
    return frame;
}

void TransmitOptionsPage::Load() {
    const TransmitOptions options = LoadTransmitOptions(m_services.settings, m_services.passwords);
    m_sendEmail->setChecked(options.sendEmail);
    m_to->setText(ToQt(options.to));
    m_sendFtp->setChecked(options.sendFtp);
    m_server->setText(ToQt(options.ftpServer));
    m_user->setText(ToQt(options.ftpUser));
    m_password->setText(ToQt(options.ftpPassword));
    m_directory->setText(ToQt(options.ftpDirectory));
    m_ftpSecure->setChecked(options.ftpSecure);
    m_ftpPlainPassword->setChecked(options.ftpAllowPlainPassword);
    m_sendFolder->setChecked(options.sendFolder);
    m_folder->setText(ToQt(options.folder));
    m_sendRun->setChecked(options.sendRun);
    m_program->setText(ToQt(options.program));
    m_prompt->setChecked(options.prompt);
    m_automatic->setChecked(!options.prompt);
}

void TransmitOptionsPage::UpdateEnabling() {
    for (QWidget* widget : m_emailWidgets) {
        widget->setEnabled(m_sendEmail->isChecked());
    }
    for (QWidget* widget : m_ftpWidgets) {
        widget->setEnabled(m_sendFtp->isChecked());
    }
    m_folder->setEnabled(m_sendFolder->isChecked());
    m_browseFolder->setEnabled(m_sendFolder->isChecked());
    m_program->setEnabled(m_sendRun->isChecked());
    m_browseProgram->setEnabled(m_sendRun->isChecked());
}

std::optional<FieldComplaint> TransmitOptionsPage::SaveChanged() {
    TransmitOptions options;
    options.sendEmail = m_sendEmail->isChecked();
    options.to = FromQt(m_to->text());
    options.sendFtp = m_sendFtp->isChecked();
    options.ftpServer = FromQt(m_server->text());
    options.ftpUser = FromQt(m_user->text());
    options.ftpPassword = FromQt(m_password->text());
    options.ftpDirectory = FromQt(m_directory->text());
    options.ftpSecure = m_ftpSecure->isChecked();
    options.ftpAllowPlainPassword = m_ftpPlainPassword->isChecked();
    options.sendFolder = m_sendFolder->isChecked();
    options.folder = FromQt(m_folder->text());
    options.sendRun = m_sendRun->isChecked();
    options.program = FromQt(m_program->text());
    options.prompt = m_prompt->isChecked();
    return SaveTransmitOptions(m_services.settings, m_services.passwords, options,
                               groupChanged(kMethodsGroup), groupChanged(kPromptGroup));
}

QWidget* TransmitOptionsPage::fieldWidget(int field) {
    switch (static_cast<TransmitField>(field)) {
        case TransmitField::To:
            return m_to;
        case TransmitField::FtpServer:
            return m_server;
        case TransmitField::Folder:
            return m_folder;
        case TransmitField::Program:
            return m_program;
    }
    return nullptr;
}

void TransmitOptionsPage::browseForFolder() {
    if (const auto folder =
            ChooseFolder(this, QStringLiteral("Browse for folder"), FromQt(m_folder->text()))) {
        m_folder->setText(ToQt(*folder));
    }
}

void TransmitOptionsPage::browseForProgram() {
    QFileDialog dialog(this, QStringLiteral("Browse for exe"),
                       ToQt(m_services.settings.Read(setting::kOpenExeDir)));
    dialog.setObjectName(QStringLiteral("ProgramPicker"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString chosen = dialog.selectedFiles().front();
    m_program->setText(chosen);
    // The chosen program's folder, wherever the dialog was showing when it was typed.
    m_services.settings.Write(setting::kOpenExeDir, FromQt(QFileInfo(chosen).absolutePath()));
}

}  // namespace sonaro
