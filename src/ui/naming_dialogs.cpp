#include "ui/naming_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>

#include "record/file_naming.h"
#include "support/prompter.h"

namespace sonaro {

std::optional<std::string> ChooseFolder(QWidget* owner, const QString& caption,
                                        const std::string& current) {
    QFileDialog dialog(owner, caption, QString::fromStdString(current));
    dialog.setObjectName(QStringLiteral("FolderPicker"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> BrowseOutputFolder(QWidget* owner, FileNaming& naming,
                                              Prompter& prompter, const std::string& current) {
    std::string start = current;
    for (;;) {
        auto chosen = ChooseFolder(owner, QString::fromUtf8(kOutputFolderCaption), start);
        if (!chosen || naming.FolderHasFreeSpace(*chosen)) {
            return chosen;
        }
        prompter.ShowError(
            "There is no free space on the selected drive folder. Please select another folder "
            "and try again.",
            "No free space");
        start = *chosen;
    }
}

std::optional<std::string> PromptForFileName(QWidget* owner) {
    QInputDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("FileNamePrompt"));
    dialog.setWindowTitle(QStringLiteral("Enter File Name"));
    dialog.setLabelText(QStringLiteral("File name:"));
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue().toStdString();
}

}  // namespace sonaro
