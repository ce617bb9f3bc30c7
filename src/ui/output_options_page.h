#pragma once

#include "ui/options_page.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sonaro {

// Page 1, "Output": format, destination folder and file naming. Group 0: format and name;
// group 1: the folder.
class OutputOptionsPage final : public OptionsPage {
    Q_OBJECT

  public:
    OutputOptionsPage(OptionsServices& services, QWidget* parent = nullptr);

    QComboBox* formatList() const { return m_format; }
    QPushButton* formatSettings() const { return m_formatSettings; }
    QLineEdit* folderField() const { return m_folder; }
    QPushButton* browseFolder() const { return m_browse; }
    QRadioButton* promptForName() const { return m_prompt; }
    QRadioButton* usePattern() const { return m_usePattern; }
    QLineEdit* patternField() const { return m_pattern; }
    QPushButton* viewSample() const { return m_viewSample; }
    QPushButton* resetAutoNumber() const { return m_reset; }

  protected:
    void Load() override;
    void UpdateEnabling() override;
    std::optional<FieldComplaint> SaveChanged() override;
    QWidget* fieldWidget(int field) override;

  private:
    QWidget* buildFormatFrame();
    QWidget* buildFolderFrame();
    QWidget* buildNameFrame();
    void showSample();
    void browse();

    QComboBox* m_format;
    QPushButton* m_formatSettings;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QRadioButton* m_prompt;
    QRadioButton* m_usePattern;
    QLineEdit* m_pattern;
    QPushButton* m_viewSample;
    QList<QWidget*> m_helpLines;
    QPushButton* m_reset;
};

}  // namespace sonaro
