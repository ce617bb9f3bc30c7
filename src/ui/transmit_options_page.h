#pragma once

#include "ui/options_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sonaro {

// Page 2, "Transmit": the four transmit methods and the prompting choice. Group 0: the
// methods; group 1: prompting.
class TransmitOptionsPage final : public OptionsPage {
    Q_OBJECT

  public:
    TransmitOptionsPage(OptionsServices& services, QWidget* parent = nullptr);

    QCheckBox* sendEmail() const { return m_sendEmail; }
    QLineEdit* toField() const { return m_to; }
    QPushButton* emailSettings() const { return m_emailSettings; }
    QCheckBox* sendFtp() const { return m_sendFtp; }
    QLineEdit* ftpServer() const { return m_server; }
    QLineEdit* ftpUser() const { return m_user; }
    QLineEdit* ftpPassword() const { return m_password; }
    QLineEdit* ftpDirectory() const { return m_directory; }
    QCheckBox* ftpSecure() const { return m_ftpSecure; }
    QCheckBox* ftpPlainPassword() const { return m_ftpPlainPassword; }
    QCheckBox* sendFolder() const { return m_sendFolder; }
    QLineEdit* folderField() const { return m_folder; }
    QPushButton* browseFolder() const { return m_browseFolder; }
    QCheckBox* sendRun() const { return m_sendRun; }
    QLineEdit* programField() const { return m_program; }
    QPushButton* browseProgram() const { return m_browseProgram; }
    QRadioButton* promptFirst() const { return m_prompt; }
    QRadioButton* runAutomatically() const { return m_automatic; }

  protected:
    void Load() override;
    void UpdateEnabling() override;
    std::optional<FieldComplaint> SaveChanged() override;
    QWidget* fieldWidget(int field) override;

  private:
    QWidget* buildMethods();
    QWidget* buildPrompting();
    QLabel* label(const char* text, QWidget* parent);
    void browseForFolder();
    void browseForProgram();

    QCheckBox* m_sendEmail;
    QLineEdit* m_to;
    QPushButton* m_emailSettings;
    QCheckBox* m_sendFtp;
    QLineEdit* m_server;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_directory;
    QCheckBox* m_ftpSecure;
    QCheckBox* m_ftpPlainPassword;
    QCheckBox* m_sendFolder;
    QLineEdit* m_folder;
    QPushButton* m_browseFolder;
    QCheckBox* m_sendRun;
    QLineEdit* m_program;
    QPushButton* m_browseProgram;
    QRadioButton* m_prompt;
    QRadioButton* m_automatic;
    QList<QWidget*> m_emailWidgets;
    QList<QWidget*> m_ftpWidgets;
};

}  // namespace sonaro
