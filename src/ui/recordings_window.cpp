#include "ui/recordings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>

#include "recordings/play_source.h"
#include "recordings/recording_folder.h"
#include "recordings/wave_out_device.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/prompter.h"
#include "ui/found_times_window.h"
#include "ui/player_window.h"
#include "ui/recordings_model.h"
#include "ui/speech_search_page.h"
#include "ui/window_placement.h"

namespace sonaro {
namespace {

constexpr std::array<int, kRecordingColumnCount> kWidthWeights = {15, 8, 6, 21, 10, 0};
constexpr int kWeightPixels = 11;
constexpr WindowPlacementSettings kPlacement{setting::kFindWindowX, setting::kFindWindowY,
                                             setting::kFindWindowWidth, setting::kFindWindowHeight,
                                             setting::kFindWindowMaximized};
// The stored page number of each page shown.
constexpr std::array<int, 4> kStoredPage = {0, 1, 2, 3};
constexpr int kSpeechPage = 2;

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

QLineEdit* NumberField(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(QStringLiteral("0"), parent);
    field->setObjectName(QLatin1String(name));
    field->setValidator(new QIntValidator(0, 99999, field));
    field->setMaximumWidth(48);
    field->setAlignment(Qt::AlignRight);
    return field;
}

QDateEdit* DateField(const char* name, QWidget* parent) {
    auto* field = new QDateEdit(QDate::currentDate(), parent);
    field->setObjectName(QLatin1String(name));
    field->setDisplayFormat(QStringLiteral("yyyy'-'MM'-'dd"));
    field->setCalendarPopup(true);
    // The size hint leaves out the pop-up button, which then covers the end of the date.
    const QStyle* style = field->style();
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88")) +
                           style->pixelMetric(QStyle::PM_ScrollBarExtent) +
                           4 * style->pixelMetric(QStyle::PM_SpinBoxFrameWidth) +
                           field->fontMetrics().averageCharWidth() * 2);
    return field;
}

// The keys the player takes first while it is open.
bool IsPlayerKey(int key) {
    switch (key) {
        case Qt::Key_Space:
        case Qt::Key_Escape:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

}  // namespace

RecordingsWindow::RecordingsWindow(PlaybackEngine& engine, WaveOutDeviceList& outputs,
                                   SettingsStore& settings, Prompter& prompter,
                                   UiDispatcher& dispatcher, std::string outputFolder,
                                   std::string lengthCacheFile, QWidget* parent)
    : QMainWindow(parent),
      m_engine(engine),
      m_outputs(outputs),
      m_settings(settings),
      m_prompter(prompter),
      m_lengths(ReadRecordingLengthMs, std::move(lengthCacheFile)),
      m_scanner(dispatcher, m_lengths) {
    setObjectName(QStringLiteral("RecordingsWindow"));
    setWindowTitle(QStringLiteral("Find and Play Recordings"));

    m_model = new RecordingsModel(
        [this](const RecordingItem& item, const std::string& newName) {
            return renameRecording(item, newName);
        },
        this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("recordings"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_list->installEventFilter(this);
    QHeaderView* header = m_list->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(false);
    for (int column = 0; column < kRecordingColumnCount; ++column) {
        header->resizeSection(column,
                              kWidthWeights[static_cast<std::size_t>(column)] * kWeightPixels);
    }
    SetColumnHidden(RecordingColumn::KeywordFoundAt, true);
    connect(header, &QHeaderView::sectionResized, this,
            [this](int column, int, int newWidth) { keepHiddenColumnsShut(column, newWidth); });
    connect(header, &QHeaderView::sectionClicked, this, &RecordingsWindow::sortBy);
    connect(m_list, &QTreeView::doubleClicked, this,
            [this] { play(setting::kCurrentSpeed.defaultValue); });

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("pages"));
    m_pages->addTab(buildFolderPage(), QStringLiteral("Folder"));
    m_pages->addTab(buildFilterPage(), QStringLiteral("View Filter"));
    m_speechPage = new SpeechSearchPage(
        settings, prompter, dispatcher,
        {[this] {
             std::vector<SpeechSearchPage::Target> targets;
             for (const int row : selectedRows()) {
                 const RecordingItem& item = m_model->item(row);
                 targets.push_back({item.name(), item.format(), RecordingFilePath(row)});
             }
             return targets;
         },
         [this](const std::string& name, const std::string& format, const std::string& time) {
             m_model->AddFoundTime(name, format, time);
             SetColumnHidden(RecordingColumn::KeywordFoundAt, false);
         },
         [this](const QString& text) { m_status->setText(text); }},
        this);
    connect(m_speechPage, &SpeechSearchPage::stateChanged, this, &RecordingsWindow::updateEnabling);
    m_pages->addTab(m_speechPage, QStringLiteral("Speech Search"));
    m_pages->addTab(buildPlayPage(), QStringLiteral("Play Options"));
    connect(m_pages, &QTabWidget::currentChanged, this, &RecordingsWindow::updateEnabling);
    m_update = new QPushButton(QStringLiteral("&Update Now (Rescan for new recordings)"), this);
    m_update->setObjectName(QStringLiteral("update"));
    connect(m_update, &QPushButton::clicked, this, &RecordingsWindow::runUpdate);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_pages);
    layout->addWidget(m_update, 0, Qt::AlignHCenter);
    setCentralWidget(central);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusText"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("scanProgress"));
    m_progress->setMaximumWidth(200);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);

    buildMenus();
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordingsWindow::updateEnabling);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { showFoundTimes(false); });

    m_watcher = new QFileSystemWatcher(this);
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(kRefreshDelayMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &RecordingsWindow::refreshChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_refreshTimer,
            qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_refreshTimer,
            qOverload<>(&QTimer::start));

    m_defaultFolder->setText(qt(outputFolder));
    loadSettings();
    updateEnabling();
    RestoreWindowPlacement(*this, m_settings, kPlacement);
    Scan();
}

RecordingsWindow::~RecordingsWindow() {
    // An open name editor would otherwise commit into a half-destroyed window as focus leaves.
    m_list->setModel(nullptr);
    m_scanner.Cancel();
    closePlayer();
    m_lengths.Save();
}

void RecordingsWindow::buildMenus() {
    QMenu* recordings = menuBar()->addMenu(QStringLiteral("&Recordings"));
    QToolBar* toolbar = addToolBar(QStringLiteral("Recordings"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolbar->setMovable(false);

    const auto add = [&](const char* text, QKeySequence key) {
        QAction* action = recordings->addAction(QString::fromLatin1(text));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        return action;
    };
    // Shown disabled until it is built.
    const auto later = [&](QAction* action) {
        action->setEnabled(false);
        action->setData(QStringLiteral("later"));
    };
    // An action on the selected recordings, with its toolbar button when it has a label.
    const auto act = [&](QAction* action, const char* label, const char* tip, auto handler) {
        m_selectionActions.push_back(action);
        connect(action, &QAction::triggered, this, handler);
        if (label != nullptr) {
            QAction* button = toolbar->addAction(QString::fromLatin1(label));
            button->setObjectName(QString::fromLatin1(label).toLower() + QStringLiteral("Button"));
            button->setToolTip(QString::fromLatin1(tip));
            connect(button, &QAction::triggered, action, &QAction::trigger);
            connect(action, &QAction::changed, button,
                    [action, button] { button->setEnabled(action->isEnabled()); });
            m_list->addAction(button);
        }
    };
    const auto withActions = [this](auto call) {
        return [this, call] {
            if (m_actionServices.actions != nullptr && selectedRow() >= 0) {
                call(*m_actionServices.actions);
            }
        };
    };

    m_playAction = add("&Play", QKeySequence(Qt::Key_F9));
    connect(m_playAction, &QAction::triggered, this,
            [this] { play(setting::kCurrentSpeed.defaultValue); });
    QAction* playButton = toolbar->addAction(QStringLiteral("Play"));
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setToolTip(QStringLiteral("Play the selected recording (F9)"));
    connect(playButton, &QAction::triggered, m_playAction, &QAction::trigger);
    connect(m_playAction, &QAction::changed, playButton,
            [this, playButton] { playButton->setEnabled(m_playAction->isEnabled()); });
    m_list->addAction(playButton);

    act(add("&Edit Audio...", QKeySequence(Qt::CTRL | Qt::Key_E)), "Edit",
        "Edit the selected recording (Ctrl+E)", withActions([this](RecordingActions& actions) {
            if (const std::string file = RecordingFilePath(selectedRow()); file != kErrorInPath) {
                actions.EditAudio(file);
            }
        }));
    later(add("Edit &Data...", QKeySequence(Qt::CTRL | Qt::Key_D)));
    act(add("&Save As...", QKeySequence(Qt::CTRL | Qt::Key_S)), "Save",
        "Save the selected recordings (Ctrl+S)", &RecordingsWindow::saveSelected);
    act(add("Send to Email &Now...", QKeySequence(Qt::CTRL | Qt::Key_N)), nullptr, nullptr,
        &RecordingsWindow::emailSelected);
    act(add("Burn Files to CD-ROM", QKeySequence(Qt::CTRL | Qt::Key_W)), "Burn",
        "Copy the selected recordings to CD-ROM (Ctrl + W)",
        withActions([this](RecordingActions& actions) { actions.Burn(SelectedRecordingFiles()); }));
    act(add("Compress and Backup Files", QKeySequence(Qt::CTRL | Qt::Key_G)), "Backup",
        "Compress and Copy to a CD or Folder (Ctrl + G)", &RecordingsWindow::backupSelected);
    act(add("Convert Sound File Format", QKeySequence(Qt::CTRL | Qt::Key_M)), nullptr, nullptr,
        withActions(
            [this](RecordingActions& actions) { actions.Convert(SelectedRecordingFiles()); }));
    act(add("Transcribe with Typrel", QKeySequence(Qt::CTRL | Qt::Key_T)), "Transcribe",
        "Transcribe with Typrel (Ctrl + T)", withActions([this](RecordingActions& actions) {
            actions.Transcribe(SelectedRecordingFiles());
        }));
    act(add("&Delete", QKeySequence(Qt::CTRL | Qt::Key_Delete)), "Delete",
        "Delete the selected recordings (Ctrl+Del)", &RecordingsWindow::deleteSelected);
    m_renameAction = add("Rename", {});
    connect(m_renameAction, &QAction::triggered, this, [this] {
        const int row = selectedRow();
        if (row >= 0) {
            m_list->edit(m_model->index(row, static_cast<int>(RecordingColumn::Name)));
        }
    });
    recordings->addSeparator();
    m_updateAction = add("&Update Now (Rescan for new recordings)", QKeySequence(Qt::Key_F8));
    connect(m_updateAction, &QAction::triggered, this, &RecordingsWindow::runUpdate);

    QMenu* launch = menuBar()->addMenu(QStringLiteral("&Launch"));
    for (const auto& [text, program] :
         {std::pair{"Moldra Sound Editor", Sibling::Moldra},
          std::pair{"Discor CD-Recorder", Sibling::Discor},
          std::pair{"Convro Sound Format Converter", Sibling::Convro}}) {
        connect(launch->addAction(QString::fromLatin1(text)), &QAction::triggered, this,
                [this, program] {
                    if (m_actionServices.actions != nullptr) {
                        m_actionServices.actions->Launch(program, SelectedRecordingFiles());
                    }
                });
    }
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordingsWindow::updateActionEnabling);
    updateActionEnabling();

    auto* slow = new QAction(this);
    slow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(slow, &QAction::triggered, this,
            [this] { play(m_settings.Read(setting::kSlowSpeed)); });
    auto* fast = new QAction(this);
    fast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(fast, &QAction::triggered, this,
            [this] { play(m_settings.Read(setting::kFastSpeed)); });
    addAction(slow);
    addAction(fast);
}

QWidget* RecordingsWindow::buildFolderPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    m_useDefault =
        new QRadioButton(QStringLiteral("Use default recordings folder on this computer"));
    m_useDefault->setObjectName(QStringLiteral("useDefaultFolder"));
    m_useOther = new QRadioButton(QStringLiteral("Use alternative or network recordings folder"));
    m_useOther->setObjectName(QStringLiteral("useOtherFolder"));
    m_defaultFolder = new QLineEdit;
    m_defaultFolder->setObjectName(QStringLiteral("defaultFolder"));
    m_otherFolder = new QLineEdit;
    m_otherFolder->setObjectName(QStringLiteral("otherFolder"));
    m_browseDefault = new QToolButton;
    m_browseDefault->setObjectName(QStringLiteral("browseDefault"));
    m_browseDefault->setText(QStringLiteral("..."));
    m_browseOther = new QToolButton;
    m_browseOther->setObjectName(QStringLiteral("browseOther"));
    m_browseOther->setText(QStringLiteral("..."));
    grid->addWidget(m_useDefault, 0, 0, 1, 2);
    grid->addWidget(m_defaultFolder, 1, 0);
    grid->addWidget(m_browseDefault, 1, 1);
    grid->addWidget(m_useOther, 2, 0, 1, 2);
    grid->addWidget(m_otherFolder, 3, 0);
    grid->addWidget(m_browseOther, 3, 1);
    grid->setRowStretch(4, 1);
    connect(m_useDefault, &QRadioButton::toggled, this, &RecordingsWindow::updateEnabling);
    connect(m_browseDefault, &QToolButton::clicked, this, [this] { browse(m_defaultFolder); });
    connect(m_browseOther, &QToolButton::clicked, this, [this] { browse(m_otherFolder); });
    return page;
}

QWidget* RecordingsWindow::buildFilterPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    m_periodOn = new QCheckBox(QStringLiteral(
        "Show recordings during the period (enter in format yyyy-mm-dd is required)."));
    m_periodOn->setObjectName(QStringLiteral("periodOn"));
    m_from = DateField("fromDate", page);
    m_to = DateField("toDate", page);
    auto* period = new QHBoxLayout;
    period->addWidget(new QLabel(QStringLiteral("From Date")));
    period->addWidget(m_from);
    period->addWidget(new QLabel(QStringLiteral("To Date")));
    period->addWidget(m_to);
    period->addStretch(1);

    m_durationMode = new QComboBox;
    m_durationMode->setObjectName(QStringLiteral("durationMode"));
    m_durationMode->addItems({QStringLiteral("Any Duration"),
                              QStringLiteral("A Duration less than or equal to:"),
                              QStringLiteral("A Duration greater than or equal to:")});
    m_hours = NumberField("hours", page);
    m_minutes = NumberField("minutes", page);
    m_seconds = NumberField("seconds", page);
    auto* duration = new QHBoxLayout;
    duration->addWidget(new QLabel(QStringLiteral("Show Recordings with ")));
    duration->addWidget(m_durationMode);
    duration->addWidget(m_hours);
    duration->addWidget(new QLabel(QStringLiteral(":")));
    duration->addWidget(m_minutes);
    duration->addWidget(new QLabel(QStringLiteral(":")));
    duration->addWidget(m_seconds);
    duration->addStretch(1);

    m_textOn = new QCheckBox(QStringLiteral("Find in"));
    m_textOn->setObjectName(QStringLiteral("textOn"));
    m_textColumn = new QComboBox;
    m_textColumn->setObjectName(QStringLiteral("textColumn"));
    for (int column = 0; column < kRecordingColumnCount; ++column) {
        m_textColumn->addItem(
            m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    }
    m_text = new QLineEdit;
    m_text->setObjectName(QStringLiteral("findText"));
    auto* text = new QHBoxLayout;
    text->addWidget(m_textOn);
    text->addWidget(m_textColumn);
    text->addWidget(new QLabel(QStringLiteral("the text")));
    text->addWidget(m_text, 1);

    grid->addWidget(m_periodOn, 0, 0);
    grid->addLayout(period, 1, 0);
    grid->addLayout(duration, 2, 0);
    grid->addLayout(text, 3, 0);
    grid->setRowStretch(4, 1);
    connect(m_periodOn, &QCheckBox::toggled, this, &RecordingsWindow::updateEnabling);
    connect(m_textOn, &QCheckBox::toggled, this, &RecordingsWindow::updateEnabling);
    connect(m_durationMode, &QComboBox::currentIndexChanged, this,
            &RecordingsWindow::updateEnabling);
    connect(m_textColumn, &QComboBox::activated, this, &RecordingsWindow::Scan);
    return page;
}

QWidget* RecordingsWindow::buildPlayPage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    m_playDevice = new QComboBox;
    m_playDevice->setObjectName(QStringLiteral("playDevice"));
    m_playDevice->addItem(QString::fromLatin1(WaveOutDeviceList::kDefaultDevice));
    for (const std::string& name : m_outputs.DeviceNames()) {
        m_playDevice->addItem(qt(name));
    }
    m_backStep = new QLineEdit;
    m_backStep->setObjectName(QStringLiteral("backStep"));
    m_backStep->setValidator(new QIntValidator(0, 3600, m_backStep));
    m_backStep->setMaximumWidth(60);
    m_slowSpeed = new QSpinBox;
    m_slowSpeed->setObjectName(QStringLiteral("slowSpeed"));
    m_slowSpeed->setRange(setting::kSlowSpeed.min, setting::kSlowSpeed.max);
    m_slowSpeed->setSuffix(QStringLiteral(" %"));
    m_fastSpeed = new QSpinBox;
    m_fastSpeed->setObjectName(QStringLiteral("fastSpeed"));
    m_fastSpeed->setRange(setting::kFastSpeed.min, setting::kFastSpeed.max);
    m_fastSpeed->setSuffix(QStringLiteral(" %"));
    m_slowSpeed->setMaximumWidth(90);
    m_fastSpeed->setMaximumWidth(90);
    form->addRow(QStringLiteral("Sound Play Device"), m_playDevice);
    form->addRow(QStringLiteral("Auto-Backstep on Play (seconds)"), m_backStep);
    form->addRow(QStringLiteral("Slow Play Speed (Ctrl+L)"), m_slowSpeed);
    form->addRow(QStringLiteral("Fast Play Speed (Ctrl+F)"), m_fastSpeed);
    return page;
}

void RecordingsWindow::loadSettings() {
    const bool useOther = m_settings.Read(setting::kUseRecordFolder);
    m_useOther->setChecked(useOther);
    m_useDefault->setChecked(!useOther);
    m_otherFolder->setText(qt(m_settings.Read(setting::kRecordFolder)));
    const int stored = m_settings.Read(setting::kFindWindowTab);
    for (std::size_t page = 0; page < kStoredPage.size(); ++page) {
        if (kStoredPage[page] == stored) {
            m_pages->setCurrentIndex(static_cast<int>(page));
        }
    }
    const int device = m_playDevice->findText(qt(m_settings.Read(setting::kPlayerDevice)));
    m_playDevice->setCurrentIndex(device < 0 ? 0 : device);
    m_backStep->setText(qt(m_settings.Read(setting::kBackStep)));
    m_slowSpeed->setValue(m_settings.Read(setting::kSlowSpeed));
    m_fastSpeed->setValue(m_settings.Read(setting::kFastSpeed));
    m_sortColumn = m_settings.Read(setting::kFindPlaySortColumn);
    m_ascending = m_settings.Read(setting::kFindPlayAscend);
    m_list->header()->setSortIndicator(m_sortColumn,
                                       m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void RecordingsWindow::storeSettings() {
    m_settings.Write(setting::kUseRecordFolder, m_useOther->isChecked());
    m_settings.Write(setting::kRecordFolder, m_otherFolder->text().toStdString());
    m_settings.Write(setting::kDefaultRecordFolder, m_defaultFolder->text().toStdString());
    m_settings.Write(setting::kFindWindowTab,
                     kStoredPage[static_cast<std::size_t>(m_pages->currentIndex())]);
    m_settings.Write(setting::kBackStep, m_backStep->text().toStdString());
    m_settings.Write(setting::kPlayerDevice, m_playDevice->currentText().toStdString());
    m_settings.Write(setting::kSlowSpeed, m_slowSpeed->value());
    m_settings.Write(setting::kFastSpeed, m_fastSpeed->value());
    m_speechPage->StoreSettings();
}

std::string RecordingsWindow::chosenFolder() const {
    return (m_useOther->isChecked() ? m_otherFolder : m_defaultFolder)->text().toStdString();
}

RecordingFilter RecordingsWindow::readFilter() {
    RecordingFilter filter;
    filter.periodOn = m_periodOn->isChecked();
    filter.from = {m_from->date().year(), m_from->date().month(), m_from->date().day()};
    filter.to = {m_to->date().year(), m_to->date().month(), m_to->date().day()};
    filter.durationMode = static_cast<DurationMode>(m_durationMode->currentIndex());
    filter.hours = m_hours->text().toInt();
    filter.minutes = m_minutes->text().toInt();
    filter.seconds = m_seconds->text().toInt();
    filter.textOn = m_textOn->isChecked();
    filter.textColumn = static_cast<RecordingColumn>(m_textColumn->currentIndex());
    filter.text = m_text->text().toStdString();
    return NormalizeRecordingFilter(filter);
}

void RecordingsWindow::writeFilter(const RecordingFilter& filter) {
    m_durationMode->setCurrentIndex(static_cast<int>(filter.durationMode));
    m_hours->setText(QString::number(filter.hours));
    m_minutes->setText(QString::number(filter.minutes));
    m_seconds->setText(QString::number(filter.seconds));
}

void RecordingsWindow::Scan() {
    closePlayer();
    m_settings.Write(setting::kUseRecordFolder, m_useOther->isChecked());
    m_settings.Write(
        m_useOther->isChecked() ? setting::kRecordFolder : setting::kDefaultRecordFolder,
        chosenFolder());
    m_folder = chosenFolder();
    m_filter = readFilter();
    writeFilter(m_filter);

    m_model->Clear();
    m_known.clear();
    for (const RecordingFile& file : ListRecordingFiles(m_folder)) {
        m_known[file.path] = {file.size, file.modifiedNs};
    }
    watchFolder(m_folder);
    m_scanning = true;
    m_refreshPending = false;
    setCursor(Qt::BusyCursor);
    m_status->clear();
    m_progress->setRange(0, 0);
    m_progress->show();
    updateEnabling();
    m_scanner.Scan(m_folder, m_filter, this);
}

void RecordingsWindow::OnRecordingsFound(std::vector<RecordingItem> items) {
    m_model->Append(std::move(items));
}

void RecordingsWindow::OnScanProgress(int done, int total) {
    m_progress->setRange(0, total);
    m_progress->setValue(done);
}

void RecordingsWindow::OnScanFinished() {
    m_scanning = false;
    m_lengths.Save();
    applySort();
    m_list->clearSelection();
    m_list->setCurrentIndex({});
    if (m_reselectRow >= 0 && m_model->rowCount() > 0) {
        const QModelIndex again =
            m_model->index(std::min(m_reselectRow, m_model->rowCount() - 1), 0);
        m_list->selectionModel()->select(
            again, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->setCurrentIndex(again);
        m_list->scrollTo(again);
    }
    m_reselectRow = -1;
    m_progress->hide();
    unsetCursor();
    showCount();
    updateEnabling();
    if (m_refreshPending) {
        refreshChanged();
    }
}

void RecordingsWindow::showCount() {
    const int count = m_model->rowCount();
    m_status->setText(count == 1 ? QStringLiteral("%1 Recording was found").arg(count)
                                 : QStringLiteral("%1 Recordings were found").arg(count));
}

void RecordingsWindow::sortBy(int column) {
    if (column == m_sortColumn) {
        m_ascending = !m_ascending;
    }
    m_sortColumn = column;
    m_settings.Write(setting::kFindPlaySortColumn, m_sortColumn);
    m_settings.Write(setting::kFindPlayAscend, m_ascending);
    applySort();
}

void RecordingsWindow::applySort() {
    const Qt::SortOrder order = m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    m_list->header()->setSortIndicator(m_sortColumn, order);
    m_model->sort(m_sortColumn, order);
}

void RecordingsWindow::updateEnabling() {
    m_browseDefault->setEnabled(m_useDefault->isChecked());
    m_browseOther->setEnabled(m_useOther->isChecked());
    m_from->setEnabled(m_periodOn->isChecked());
    m_to->setEnabled(m_periodOn->isChecked());
    const bool limited = m_durationMode->currentIndex() != static_cast<int>(DurationMode::Any);
    m_hours->setEnabled(limited);
    m_minutes->setEnabled(limited);
    m_seconds->setEnabled(limited);
    m_textColumn->setEnabled(m_textOn->isChecked());
    m_text->setEnabled(m_textOn->isChecked());
    const bool selected = selectedRow() >= 0;
    m_playAction->setEnabled(selected);
    m_renameAction->setEnabled(selected);
    const bool speechPage = m_pages->currentIndex() == kSpeechPage;
    m_update->setText(speechPage ? QStringLiteral("Speech Search for Keywords")
                                 : QStringLiteral("&Update Now (Rescan for new recordings)"));
    const bool updating =
        !m_speechPage->isSearching() && (!speechPage || m_speechPage->keywordsTicked());
    m_update->setEnabled(updating);
    m_updateAction->setEnabled(updating);
}

void RecordingsWindow::SetSpeechEngines(SpeechEngines& engines, ProgramLog* log) {
    m_speechPage->SetEngines(engines, log);
}

void RecordingsWindow::runUpdate() {
    if (m_speechPage->keywordsTicked()) {
        m_speechPage->Start();
    } else {
        Scan();
    }
}

void RecordingsWindow::showFoundTimes(bool open) {
    const int row = selectedRow();
    const std::string times =
        row < 0 ? std::string() : m_model->item(row).text(RecordingColumn::KeywordFoundAt);
    if (times.empty()) {
        if (m_foundTimes != nullptr) {
            m_foundTimes->close();
        }
        return;
    }
    if (!open && (m_foundTimes == nullptr || !m_foundTimes->isVisible())) {
        return;
    }
    if (m_foundTimes == nullptr) {
        m_foundTimes = new FoundTimesWindow(m_settings, this);
        connect(m_foundTimes, &FoundTimesWindow::playFrom, this, [this](std::int64_t offsetMs) {
            play(setting::kCurrentSpeed.defaultValue, offsetMs);
        });
    }
    m_foundTimes->SetTimes(m_model->item(row).name(), times);
    m_foundTimes->show();
    m_foundTimes->raise();
}

void RecordingsWindow::browse(QLineEdit* field) {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Locate recordings folder to find and play..."), field->text());
    if (!folder.isEmpty()) {
        field->setText(folder);
        Scan();
    }
}

bool RecordingsWindow::renameRecording(const RecordingItem& item, const std::string& newName) {
    if (RenameRecording(m_folder, item.name(), item.format(), newName) == RenameResult::Renamed) {
        return true;
    }
    m_prompter.ShowMessage({kRenameFailedText, kRenameFailedTitle, PromptButtons::Ok,
                            PromptIcon::Warning, PromptAnswer::Ok});
    return false;
}

int RecordingsWindow::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

std::string RecordingsWindow::RecordingFilePath(int row) const {
    const RecordingItem& item = m_model->item(row);
    std::error_code error;
    const std::string own = RecordingPath(m_folder, item.name(), item.format());
    if (std::filesystem::is_regular_file(own, error)) {
        return own;
    }
    for (std::string_view extension : kRecordingExtensions) {
        const std::string path = RecordingPath(m_folder, item.name(), std::string(extension));
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return kErrorInPath;
}

void RecordingsWindow::play(int speed, std::int64_t offsetMs) {
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    if (offsetMs < 0 && !m_model->item(row).text(RecordingColumn::KeywordFoundAt).empty()) {
        m_settings.Write(setting::kBackStep, m_backStep->text().toStdString());
        showFoundTimes(true);
        return;
    }
    m_settings.Write(setting::kCurrentSpeed, speed);
    m_settings.Write(setting::kPlayerDevice, m_playDevice->currentText().toStdString());
    m_settings.Write(setting::kBackStep, m_backStep->text().toStdString());
    m_settings.Write(setting::kPlayOffset,
                     static_cast<int>(std::clamp<std::int64_t>(offsetMs, 0, INT32_MAX)));
    closePlayer();
    m_provider = std::make_unique<RecordingFileProvider>(RecordingFilePath(row),
                                                         m_model->item(row).name(), m_settings);
    m_player = std::make_unique<PlayerWindow>(m_engine, m_outputs, m_settings, *m_provider,
                                              m_prompter, this);
    m_player->Open();
    m_player->raise();
}

void RecordingsWindow::closePlayer() {
    if (m_player) {
        m_player->done(QDialog::Rejected);
        m_player.reset();
    }
    m_provider.reset();
}

bool RecordingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && m_player &&
        m_player->isVisible() && watched == m_list) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsPlayerKey(key->key())) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(),
                           key->isAutoRepeat());
            QApplication::sendEvent(m_player.get(), &copy);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void RecordingsWindow::closeEvent(QCloseEvent* event) {
    m_scanner.Cancel();
    m_scanning = false;
    m_speechPage->Stop();
    if (m_foundTimes != nullptr) {
        m_foundTimes->close();
    }
    closePlayer();
    storeSettings();
    SaveWindowPlacement(*this, m_settings, kPlacement);
    QMainWindow::closeEvent(event);
}

void RecordingsWindow::SetColumnHidden(RecordingColumn column, bool hidden) {
    const int index = static_cast<int>(column);
    const std::uint32_t bit = 1u << index;
    if (hidden == ((m_hiddenColumns & bit) != 0)) {
        return;
    }
    QHeaderView* header = m_list->header();
    int& width = m_shownWidths[static_cast<std::size_t>(index)];
    if (!hidden) {
        m_hiddenColumns &= ~bit;
        header->resizeSection(index, width);
        return;
    }
    // A column that was never shown (0 wide from the start) gets its title's width when shown.
    width = header->sectionSize(index) > 0 ? header->sectionSize(index)
                                           : header->sectionSizeHint(index);
    m_hiddenColumns |= bit;
    header->resizeSection(index, 0);
    int front = 0;
    for (int other = 0; other < kRecordingColumnCount; ++other) {
        if ((m_hiddenColumns & (1u << other)) != 0) {
            header->moveSection(header->visualIndex(other), front++);
        }
    }
}

void RecordingsWindow::keepHiddenColumnsShut(int column, int newWidth) {
    if (newWidth != 0 && column >= 0 && column < kRecordingColumnCount &&
        (m_hiddenColumns & (1u << column)) != 0) {
        m_list->header()->resizeSection(column, 0);
    }
}

void RecordingsWindow::watchFolder(const std::string& folder) {
    if (const QStringList watched = m_watcher->files() + m_watcher->directories();
        !watched.isEmpty()) {
        m_watcher->removePaths(watched);
    }
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
        m_watcher->addPath(qt(folder));
    }
}

void RecordingsWindow::refreshChanged() {
    if (m_scanning) {
        m_refreshPending = true;
        return;
    }
    m_refreshPending = false;
    std::set<std::string> present;
    for (const RecordingFile& file : ListRecordingFiles(m_folder)) {
        present.insert(file.path);
        const auto known = m_known.find(file.path);
        const std::pair<std::uint64_t, std::int64_t> facts{file.size, file.modifiedNs};
        if (known != m_known.end() && known->second == facts) {
            continue;
        }
        if (known == m_known.end()) {
            // A recording still being written changes only its own file.
            m_watcher->addPath(qt(file.path));
        }
        m_known[file.path] = facts;
        if (std::optional<RecordingItem> item = BuildRecordingItem(file, m_filter, m_lengths)) {
            m_model->Put(std::move(*item), static_cast<RecordingColumn>(m_sortColumn), m_ascending);
        } else {
            m_model->Remove(file.name, file.format);
        }
    }
    for (auto known = m_known.begin(); known != m_known.end();) {
        if (present.count(known->first) != 0) {
            ++known;
            continue;
        }
        const std::filesystem::path gone(known->first);
        m_model->Remove(gone.stem().string(), gone.extension().string());
        known = m_known.erase(known);
    }
    showCount();
    updateEnabling();
}

}  // namespace sonaro
