#include "ui/audio_file_backup_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace sonaro {

LAudioFileBackupDlg::LAudioFileBackupDlg(RecordingActions& actions, QWidget* parent)
    : QDialog(parent),
      m_actions(actions),
      m_toCd(new QRadioButton(QStringLiteral("Backup to CD-ROM"), this)),
      m_toFolder(new QRadioButton(QStringLiteral("Backup to folder"), this)),
      m_folder(new QLineEdit(this)),
      m_browse(new QToolButton(this)),
      m_compression(new QComboBox(this)) {
    setObjectName(QStringLiteral("LAudioFileBackupDlg"));
    setWindowTitle(QStringLiteral("Compress and Backup Files"));
    m_toCd->setObjectName(QStringLiteral("toCd"));
    m_toFolder->setObjectName(QStringLiteral("toFolder"));
    m_folder->setObjectName(QStringLiteral("folder"));
    m_browse->setObjectName(QStringLiteral("browse"));
    m_browse->setText(QStringLiteral("..."));
    m_compression->setObjectName(QStringLiteral("compression"));
    for (const char* entry : kBackupEntryNames) {
        m_compression->addItem(QString::fromLatin1(entry));
    }

    const BackupChoice stored = actions.StoredBackupChoice();
    (stored.toCd ? m_toCd : m_toFolder)->setChecked(true);
    m_folder->setText(QString::fromStdString(stored.folder));
    m_compression->setCurrentIndex(static_cast<int>(stored.entry));

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_toCd);
    layout->addWidget(m_toFolder);
    layout->addLayout(folderRow);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Compression:"), m_compression);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &LAudioFileBackupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LAudioFileBackupDlg::reject);
    connect(m_toFolder, &QRadioButton::toggled, this, &LAudioFileBackupDlg::updateEnabling);
    connect(m_browse, &QToolButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, QString::fromLatin1(kBackupBrowseTitle), m_folder->text());
        if (!folder.isEmpty()) {
            m_folder->setText(folder);
        }
    });
    updateEnabling();
}

BackupChoice LAudioFileBackupDlg::choice() const {
    BackupChoice choice;
    choice.toCd = m_toCd->isChecked();
    choice.folder = m_folder->text().trimmed().toStdString();
    choice.entry = static_cast<BackupEntry>(std::max(m_compression->currentIndex(), 0));
    return choice;
}

void LAudioFileBackupDlg::accept() {
    if (m_actions.AcceptBackupChoice(choice())) {
        QDialog::accept();
    }
}

void LAudioFileBackupDlg::updateEnabling() {
    m_folder->setEnabled(m_toFolder->isChecked());
    m_browse->setEnabled(m_toFolder->isChecked());
}

}  // namespace sonaro
