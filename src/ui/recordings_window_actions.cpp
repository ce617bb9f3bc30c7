#include <QAction>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>
#include <filesystem>

#include "recordings/recording_actions.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "ui/audio_file_backup_dlg.h"
#include "ui/recordings_model.h"
#include "ui/recordings_window.h"

namespace sonaro {

void RecordingsWindow::SetActionServices(ActionServices services) {
    m_actionServices = std::move(services);
    updateActionEnabling();
}

std::vector<int> RecordingsWindow::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> RecordingsWindow::SelectedRecordingFiles() const {
    std::vector<std::string> files;
    for (const int row : selectedRows()) {
        const RecordingItem& item = m_model->item(row);
        for (std::string& file : RecordingFiles(m_folder, item.name(), item.format())) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

void RecordingsWindow::updateActionEnabling() {
    const bool enabled = m_actionServices.actions != nullptr && selectedRow() >= 0;
    for (QAction* action : m_selectionActions) {
        action->setEnabled(enabled);
    }
}

void RecordingsWindow::deleteSelected() {
    const std::vector<int> rows = selectedRows();
    if (m_actionServices.actions == nullptr || rows.empty()) {
        return;
    }
    std::vector<RecordingActions::Item> items;
    for (const int row : rows) {
        const RecordingItem& item = m_model->item(row);
        items.push_back({m_folder, item.name(), item.format()});
    }
    setCursor(Qt::WaitCursor);
    const bool deleted = m_actionServices.actions->Delete(items);
    unsetCursor();
    if (deleted) {
        closePlayer();
        m_reselectRow = rows.front();
        Scan();
    }
}

void RecordingsWindow::saveSelected() {
    const std::vector<int> rows = selectedRows();
    if (m_actionServices.actions == nullptr || rows.empty()) {
        return;
    }
    const QString start = QString::fromStdString(m_settings.Read(setting::kSaveFolder));
    if (rows.size() == 1) {
        const std::string source = RecordingFilePath(rows.front());
        if (source == kErrorInPath) {
            return;
        }
        const QString name =
            QString::fromStdString(std::filesystem::path(source).filename().string());
        const QString target =
            QFileDialog::getSaveFileName(this, QString::fromLatin1(kSaveTitle),
                                         start.isEmpty() ? name : start + QLatin1Char('/') + name);
        if (!target.isEmpty()) {
            m_actionServices.actions->SaveAs(source, target.toStdString());
        }
        return;
    }
    const QString folder =
        QFileDialog::getExistingDirectory(this, QString::fromLatin1(kSaveIntoFolderTitle), start);
    if (!folder.isEmpty()) {
        std::vector<std::string> files;
        for (const int row : rows) {
            if (std::string file = RecordingFilePath(row); file != kErrorInPath) {
                files.push_back(std::move(file));
            }
        }
        m_actionServices.actions->SaveInto(files, folder.toStdString());
    }
}

void RecordingsWindow::emailSelected() {
    const int row = selectedRow();
    if (!m_actionServices.sendEmail || row < 0) {
        return;
    }
    if (const std::string file = RecordingFilePath(row); file != kErrorInPath) {
        m_actionServices.sendEmail(file, this);
    }
}

void RecordingsWindow::backupSelected() {
    if (m_actionServices.actions == nullptr || selectedRow() < 0) {
        return;
    }
    LAudioFileBackupDlg dialog(*m_actionServices.actions, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    std::vector<std::string> files;
    for (const int row : selectedRows()) {
        if (std::string file = RecordingFilePath(row); file != kErrorInPath) {
            files.push_back(std::move(file));
        }
    }
    m_actionServices.actions->Backup(files);
    m_list->clearSelection();
}

}  // namespace sonaro
