#include "ui/general_options_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/general_options.h"

namespace sonaro {
namespace {

enum Group { kToneGroup = 0, kSpaceGroup = 1 };

QLineEdit* numberField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(new QIntValidator(0, 999999, field));
    field->setMaximumWidth(80);
    field->setAlignment(Qt::AlignRight);
    return field;
}

}  // namespace

GeneralOptionsPage::GeneralOptionsPage(OptionsServices& services, QWidget* parent)
    : OptionsPage(services, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* tone = new QGroupBox(QStringLiteral("Tone"), this);
    auto* toneGrid = new QGridLayout(tone);
    m_recordTone = new QCheckBox(QStringLiteral("Sound record tone when recording starts"), tone);
    m_stoppedTone = new QCheckBox(QStringLiteral("Sound stopped tone when recording stops"), tone);
    m_intervalTone = new QCheckBox(QStringLiteral("Sound record tone every (secs):"), tone);
    m_interval = numberField(tone);
    toneGrid->addWidget(m_recordTone, 0, 0, 1, 2);
    toneGrid->addWidget(m_stoppedTone, 1, 0, 1, 2);
    toneGrid->addWidget(m_intervalTone, 2, 0);
    toneGrid->addWidget(m_interval, 2, 1, Qt::AlignLeft);
    layout->addWidget(tone);

    auto* startUp = new QGroupBox(QStringLiteral("StartUp"), this);
    auto* startUpLayout = new QVBoxLayout(startUp);
    m_runAtLogon = new QCheckBox(QStringLiteral("Run Sonaro when computer starts"), startUp);
    m_recordWhenRun =
        new QCheckBox(QStringLiteral("Start recording automatically when Sonaro runs"), startUp);
    startUpLayout->addWidget(m_runAtLogon);
    startUpLayout->addWidget(m_recordWhenRun);
    layout->addWidget(startUp);

    auto* space = new QGroupBox(QStringLiteral("Low Disk Space Warning"), this);
    auto* spaceRow = new QGridLayout(space);
    m_space = numberField(space);
    spaceRow->addWidget(
        new QLabel(QStringLiteral("Warn when hard drive space is low (below MB):"), space), 0, 0);
    spaceRow->addWidget(m_space, 0, 1, Qt::AlignLeft);
    layout->addWidget(space);
    layout->addStretch(1);

    for (QAbstractButton* box :
         {m_recordTone, m_stoppedTone, m_intervalTone, m_runAtLogon, m_recordWhenRun}) {
        watch(box, kToneGroup);
    }
    watch(m_interval, kToneGroup);
    watch(m_space, kSpaceGroup);
}

void GeneralOptionsPage::Load() {
    const GeneralOptions options = LoadGeneralOptions(m_services.settings, m_services.logonStart);
    m_recordTone->setChecked(options.recordTone);
    m_stoppedTone->setChecked(options.stoppedTone);
    m_intervalTone->setChecked(options.intervalTone);
    m_interval->setText(ToQt(options.intervalSecs));
    m_runAtLogon->setChecked(options.runAtLogon);
    m_recordWhenRun->setChecked(options.recordWhenRun);
    m_space->setText(ToQt(options.warnSpaceBelow));
}

void GeneralOptionsPage::UpdateEnabling() {
    m_interval->setEnabled(m_intervalTone->isChecked());
}

std::optional<FieldComplaint> GeneralOptionsPage::SaveChanged() {
    GeneralOptions options;
    options.recordTone = m_recordTone->isChecked();
    options.stoppedTone = m_stoppedTone->isChecked();
    options.intervalTone = m_intervalTone->isChecked();
    options.intervalSecs = FromQt(m_interval->text());
    options.recordWhenRun = m_recordWhenRun->isChecked();
    options.runAtLogon = m_runAtLogon->isChecked();
    options.warnSpaceBelow = FromQt(m_space->text());
    return SaveGeneralOptions(m_services.settings, m_services.logonStart, options,
                              groupChanged(kToneGroup), groupChanged(kSpaceGroup));
}

QWidget* GeneralOptionsPage::fieldWidget(int field) {
    if (field == static_cast<int>(GeneralField::IntervalSecs)) {
        return m_interval;
    }
    return m_runAtLogon;
}

}  // namespace sonaro
