#pragma once

#include <QDialog>

#include "recordings/recording_actions.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace sonaro {

// "Compress and Backup Files": CD or folder, the folder, and the compression entry, shown with
// the stored choices. OK goes through RecordingActions::AcceptBackupChoice, which stores them;
// the dialog stays open when it refuses. User-interface thread.
class LAudioFileBackupDlg final : public QDialog {
    Q_OBJECT

  public:
    LAudioFileBackupDlg(RecordingActions& actions, QWidget* parent = nullptr);

    BackupChoice choice() const;
    void accept() override;

  private:
    void updateEnabling();

    RecordingActions& m_actions;
    QRadioButton* m_toCd;
    QRadioButton* m_toFolder;
    QLineEdit* m_folder;
    QToolButton* m_browse;
    QComboBox* m_compression;
};

}  // namespace sonaro
