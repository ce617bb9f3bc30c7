#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/curl_downloader.h"
#include "platform/freedesktop_trash.h"
#include "platform/pulse_wave_out_list.h"
#include "platform/qt_ui_dispatcher.h"
#include "recordings/play_source.h"
#include "recordings/playback_engine.h"
#include "recordings/recording_actions.h"
#include "recordings/recording_folder.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/component_manager.h"
#include "support/monitor_recording.h"
#include "support/program_launcher.h"
#include "support/pulse_server.h"
#include "support/recording_maker.h"
#include "support/recording_page_opener.h"
#include "support/scripted_prompter.h"
#include "support/scripted_speech.h"
#include "support/scripted_wave_out.h"
#include "support/settings_home.h"
#include "support/signal.h"
#include "threads/child_process.h"
#include "ui/audio_file_backup_dlg.h"
#include "ui/found_times_window.h"
#include "ui/player_window.h"
#include "ui/recordings_window.h"
#include "ui/speech_search_page.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

constexpr int kRate = 8000;

// Settings in a temporary home, a real playback engine and scripted outputs: what the player and
// the recordings window run on.
struct PlaybackRig {
    test::SettingsHome home;
    SettingsStore& settings = home.settings;
    QtUiDispatcher dispatcher;
    test::ScriptedWaveOutList outputs{{"Speakers", "Headphones"}};
    PlaybackEngine engine{outputs, dispatcher};
    test::ScriptedPrompter prompter;
};

// A recordings window over a folder of recordings made by the program's writers, a real engine,
// scripted outputs and, where a test asks for them, real recording actions.
struct RecordingsRig : PlaybackRig {
    RecordingsRig() {
        Record("a.b.wav", 2.5);
        Record("c.aiff", 1);
        Record("long.aif", 61.5);
        Record("tone.mp3", 3.2);
        // Noise, so that what the player writes shows where it came from.
        noise = test::RandomSamples(kRate / 2);
        Record("b.wav", 0, &noise);
    }

    void Record(const std::string& name, double seconds,
                const std::vector<InternalSample>* samples = nullptr) {
        if (!recordings.Make(folder + "/" + name, seconds, samples)) {
            qFatal("cannot record %s", name.c_str());
        }
    }

    RecordingsWindow& open() { return openWith(engine, outputs); }
    // Opens the window on another folder, as its alternative folder.
    RecordingsWindow& openOn(const std::string& other) {
        settings.Write(setting::kUseRecordFolder, true);
        settings.Write(setting::kRecordFolder, other);
        return open();
    }
    RecordingsWindow& openWith(PlaybackEngine& player, WaveOutDeviceList& devices) {
        window = std::make_unique<RecordingsWindow>(player, devices, settings, prompter, dispatcher,
                                                    folder, home.path() + "/lengths.txt");
        if (withActions) {
            window->SetActionServices({&actions, {}});
        }
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()) ||
            !QTest::qWaitFor([this] { return status().endsWith(QLatin1String("found")); })) {
            qFatal("the recordings window never finished its scan");
        }
        return *window;
    }

    template <typename Part>
    Part* part(const char* name) const {
        return window->findChild<Part*>(QLatin1String(name));
    }
    QTreeView* list() const { return part<QTreeView>("recordings"); }
    QAbstractItemModel* model() const { return list()->model(); }
    QString status() const { return part<QLabel>("statusText")->text(); }
    QString text(int row, RecordingColumn column) const {
        return model()->index(row, static_cast<int>(column)).data().toString();
    }
    // The names in the list's order, joined by spaces.
    QString names() const {
        QStringList result;
        for (int row = 0; row < model()->rowCount(); ++row) {
            result << text(row, RecordingColumn::Name);
        }
        return result.join(' ');
    }
    int rowOf(const QString& name) const {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (text(row, RecordingColumn::Name) == name) {
                return row;
            }
        }
        return -1;
    }
    void select(const QString& name) { list()->setCurrentIndex(model()->index(rowOf(name), 0)); }
    void rescan() {
        QTest::mouseClick(part<QPushButton>("update"), Qt::LeftButton);
        QTRY_VERIFY(status().endsWith(QLatin1String("found")));
    }
    void clickHeader(int column) {
        QHeaderView* header = list()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    }
    PlayerWindow* player() const { return window->findChild<PlayerWindow*>(); }

    std::string folder = home.path() + "/recordings";
    bool made = std::filesystem::create_directory(folder);
    test::RecordingMaker recordings;
    std::vector<InternalSample> noise;
    bool withActions = false;
    test::RecordingPageOpener pages;
    FreedesktopTrash trash{home.path() + "/share"};
    CurlDownloader downloader;
    ComponentManager components{settings, downloader, prompter, pages, dispatcher, {}};
    ProgramLauncher launcher{settings, components, prompter, pages, dispatcher};
    RecordingActions actions{RecordingActionParts{
        settings, prompter, dispatcher, trash, launcher, {}, {}, home.path() + "/data", {}}};
    std::unique_ptr<RecordingsWindow> window;
};

// The player's clock in milliseconds ("h:mm:ss.hh").
std::int64_t ClockMs(PlayerWindow* player) {
    const QStringList parts = player->findChild<QLabel*>("clock")->text().split(':');
    return (parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60) * 1000 +
           std::llround(parts[2].toDouble() * 1000);
}

constexpr int kFrames = 2 * kRate;

// A player window over a real engine, scripted outputs and a two-second WAV file of noise (no
// stretch of it repeats, so where the output came from shows).
struct PlayerRig : PlaybackRig {
    PlayerRig() {
        const std::vector<std::int16_t> noise = test::Pcm16Of(test::RandomSamples(kFrames));
        file.assign(noise.begin(), noise.end());
        if (!test::WriteWavFile(path, file, kRate, 1)) {
            qFatal("cannot write %s", path.c_str());
        }
    }

    PlayerWindow& open() {
        window.reset();
        window = std::make_unique<PlayerWindow>(engine, outputs, settings, provider, prompter);
        window->Open();
        return *window;
    }
    test::WaveOutScript::Snapshot output() { return outputs.script().snapshot(); }
    template <typename Part>
    Part* part(const char* name) const {
        return window->findChild<Part*>(QLatin1String(name));
    }
    QString clock() const { return part<QLabel>("clock")->text(); }
    std::int64_t clockMs() const { return ClockMs(window.get()); }
    // Where the first `frames` written since the device opened start in the file, if anywhere.
    std::optional<std::int64_t> writtenFrom(int frames) {
        const auto written = output().samples;
        if (static_cast<int>(written.size()) < frames) {
            return std::nullopt;
        }
        for (int start = 0; start + frames <= kFrames; ++start) {
            if (std::equal(written.begin(), written.begin() + frames, file.begin() + start)) {
                return start;
            }
        }
        return std::nullopt;
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), key, modifiers);
    }

    std::string path = home.path() + "/take.wav";
    std::vector<std::int16_t> file;
    RecordingFileProvider provider{path, "take", settings};
    std::unique_ptr<PlayerWindow> window;
};

// The strongest frequency of the last `ms` of sound the monitor recorded.
double LastPitch(test::MonitorRecording& monitor, int ms) {
    const std::vector<InternalSample> heard = monitor.Finish();
    const std::vector<test::SoundSpan> spans =
        test::SoundSpans(heard, test::MonitorRecording::kRate / 20);
    if (spans.empty()) {
        return 0;
    }
    const std::size_t frames =
        std::min<std::size_t>(spans.back().frames(), test::MonitorRecording::kRate * ms / 1000);
    const std::vector<InternalSample> tail(
        heard.begin() + static_cast<std::ptrdiff_t>(spans.back().last - frames + 1),
        heard.begin() + static_cast<std::ptrdiff_t>(spans.back().last + 1));
    return test::DominantFrequency(tail, test::MonitorRecording::kRate, 300, 2000, 5);
}

}  // namespace

class RecordingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void listsEveryRecordingWithItsTextsAndPlaysTheSelectedOne() {
        RecordingsRig rig;
        RecordingsWindow& window = rig.open();
        QCOMPARE(rig.status(), QString("5 Recordings were found"));
        QCOMPARE(rig.names(), QString("a.b b c long tone"));

        // Nothing is selected, so nothing can be played yet; the later commands stay off.
        QAction* play = rig.part<QToolBar>("toolbar")->actions().first();
        QCOMPARE(play->toolTip(), QString("Play the selected recording (F9)"));
        QVERIFY(!play->isEnabled());
        rig.select("b");
        QVERIFY(play->isEnabled());
        QVERIFY(!rig.part<QToolBar>("toolbar")->actions().last()->isEnabled());
        QVERIFY(rig.player() == nullptr);
        QCOMPARE(window.RecordingFilePath(rig.rowOf("b")), rig.folder + "/b.wav");
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(rig.list(), Qt::Key_F9);
        PlayerWindow* player = rig.player();
        QVERIFY(player != nullptr);
        QVERIFY(player->isVisible());
        QCOMPARE(rig.settings.Read(setting::kCurrentSpeed), 100);
        QCOMPARE(player->findChild<QLineEdit*>("name")->text(), QString("b"));
        const std::vector<std::int16_t> expected = test::Pcm16Of(rig.noise);
        QTRY_COMPARE(rig.outputs.script().snapshot().samples, expected);
        QVERIFY(test::SaveScreenshot(*player, "recordings_player_window.png"));

        // Space reaches the open player before the list.
        QTest::keyClick(rig.list(), Qt::Key_Space);
        QVERIFY(player->findChild<QToolButton*>("pause")->isChecked());
        QVERIFY(rig.engine.IsStopped());

        // Offscreen, the player keeps the activation until it closes. That the speeds keep the
        // pitch is heard in the engine's tests.
        const std::pair<Qt::Key, const IntSetting*> speeds[] = {{Qt::Key_L, &setting::kSlowSpeed},
                                                                {Qt::Key_F, &setting::kFastSpeed}};
        for (const auto& [key, speed] : speeds) {
            QTest::keyClick(rig.player(), Qt::Key_Return);
            QVERIFY(!rig.player()->isVisible());
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QTest::keyClick(rig.list(), key, Qt::ControlModifier);
            QCOMPARE(rig.settings.Read(setting::kCurrentSpeed), rig.settings.Read(*speed));
            QVERIFY(rig.player() != nullptr && rig.player()->isVisible());
        }

        rig.rescan();
        QVERIFY(rig.player() == nullptr);

        auto* pages = rig.part<QTabWidget>("pages");
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QVERIFY(test::SaveScreenshot(window, QString("recordings_window_%1.png").arg(page)));
        }
        // The page and the play options are kept for the next opening.
        rig.part<QSpinBox>("slowSpeed")->setValue(40);
        pages->setCurrentIndex(1);
        window.close();
        QCOMPARE(rig.settings.Read(setting::kFindWindowTab), 1);
        QCOMPARE(rig.settings.Read(setting::kSlowSpeed), 40);
        QVERIFY(!rig.settings.Read(setting::kUseRecordFolder));
    }

    void filtersAndSorts() {
        RecordingsRig rig;
        rig.open();
        rig.part<QComboBox>("durationMode")->setCurrentIndex(1);
        rig.part<QLineEdit>("minutes")->setText("75");
        rig.rescan();
        QCOMPARE(rig.part<QLineEdit>("minutes")->text(), QString("59"));
        QCOMPARE(rig.status(), QString("5 Recordings were found"));

        rig.part<QLineEdit>("minutes")->setText("0");
        rig.part<QLineEdit>("seconds")->setText("2");
        rig.rescan();
        QCOMPARE(rig.names(), QString("a.b b c"));

        // All three limits 0 mean any duration again.
        rig.part<QLineEdit>("seconds")->setText("0");
        rig.part<QCheckBox>("textOn")->setChecked(true);
        rig.part<QLineEdit>("findText")->setText(".ai");
        rig.part<QComboBox>("textColumn")->setCurrentIndex(2);
        rig.rescan();
        QCOMPARE(rig.part<QComboBox>("durationMode")->currentIndex(), 0);
        QVERIFY(!rig.part<QLineEdit>("hours")->isEnabled());
        QCOMPARE(rig.names(), QString("c long"));
        QCOMPARE(rig.status(), QString("2 Recordings were found"));
        rig.part<QLineEdit>("findText")->setText("long");
        rig.part<QComboBox>("textColumn")->setCurrentIndex(0);
        rig.rescan();
        QCOMPARE(rig.status(), QString("1 Recording was found"));

        rig.part<QCheckBox>("textOn")->setChecked(false);
        rig.rescan();
        // Another column keeps the direction; the same column again turns it round.
        rig.clickHeader(1);
        QCOMPARE(rig.names(), QString("b c a.b tone long"));
        rig.clickHeader(1);
        QCOMPARE(rig.names(), QString("long tone a.b c b"));
        QCOMPARE(rig.settings.Read(setting::kFindPlaySortColumn), 1);
        QVERIFY(!rig.settings.Read(setting::kFindPlayAscend));
        // A rescan keeps the stored order.
        rig.rescan();
        QCOMPARE(rig.names(), QString("long tone a.b c b"));

        // The alternative folder: its browse button only, and the choice stored at the scan.
        const std::string missing = rig.folder + "/missing";
        rig.part<QRadioButton>("useOtherFolder")->setChecked(true);
        rig.part<QLineEdit>("otherFolder")->setText(QString::fromStdString(missing));
        QVERIFY(rig.part<QToolButton>("browseOther")->isEnabled());
        QVERIFY(!rig.part<QToolButton>("browseDefault")->isEnabled());
        rig.rescan();
        QCOMPARE(rig.status(), QString("0 Recordings were found"));
        QVERIFY(rig.settings.Read(setting::kUseRecordFolder));
        QCOMPARE(rig.settings.Read(setting::kRecordFolder), missing);
    }

    void listsTwoHundredRecordingsOfEveryFormat() {
        RecordingsRig rig;
        const std::string folder = rig.home.path() + "/two hundred";
        std::filesystem::create_directory(folder);
        const std::vector<WaveFormat> wavFormats = rig.recordings.WavFormats();
        QVERIFY(wavFormats.size() >= 7);
        const std::vector<std::string> others = {".mp3", ".aiff", ".aif", ".flac"};
        const std::size_t kinds = wavFormats.size() + others.size();
        std::map<QString, std::string> formats;
        std::map<QString, int> durations;
        int twoSecondsOrMore = 0;
        int threeSeconds = 0;
        for (std::size_t i = 0; i < 200; ++i) {
            const std::size_t kind = i % kinds;
            const int seconds = static_cast<int>(i / kinds % 4);
            const QString name = QString("take %1").arg(i, 3, 10, QChar('0'));
            const std::string format =
                kind < wavFormats.size() ? ".wav" : others[kind - wavFormats.size()];
            const std::string path = folder + "/" + name.toStdString() + format;
            // A quarter second over, so that blocks padded at the end stay within the second.
            QVERIFY2(kind < wavFormats.size()
                         ? rig.recordings.MakeWav(path, seconds + 0.25, wavFormats[kind])
                         : rig.recordings.Make(path, seconds + 0.25),
                     qPrintable(name));
            formats[name] = format;
            durations[name] = seconds;
            twoSecondsOrMore += seconds >= 2;
            threeSeconds += seconds == 3;
        }
        rig.openOn(folder);
        QCOMPARE(rig.status(), QString("200 Recordings were found"));
        for (const RecordingFile& file : ListRecordingFiles(folder)) {
            const QString name = QString::fromStdString(file.name);
            const int row = rig.rowOf(name);
            QVERIFY2(row >= 0, qPrintable(name));
            QCOMPARE(rig.text(row, RecordingColumn::Format), QString::fromStdString(formats[name]));
            QCOMPARE(rig.text(row, RecordingColumn::Duration),
                     QString("0:00:0%1").arg(durations[name]));
        }
        rig.part<QComboBox>("durationMode")->setCurrentIndex(2);
        rig.part<QLineEdit>("seconds")->setText("2");
        rig.rescan();
        QCOMPARE(rig.model()->rowCount(), twoSecondsOrMore);
        rig.part<QComboBox>("durationMode")->setCurrentIndex(0);

        rig.part<QCheckBox>("textOn")->setChecked(true);
        rig.part<QComboBox>("textColumn")->setCurrentIndex(1);
        rig.part<QLineEdit>("findText")->setText("0:00:03");
        rig.rescan();
        QCOMPARE(rig.model()->rowCount(), threeSeconds);
        rig.part<QCheckBox>("textOn")->setChecked(false);

        // Every file was made today.
        rig.part<QCheckBox>("periodOn")->setChecked(true);
        rig.part<QDateEdit>("fromDate")->setDate(QDate::currentDate());
        rig.part<QDateEdit>("toDate")->setDate(QDate::currentDate());
        rig.rescan();
        QCOMPARE(rig.status(), QString("200 Recordings were found"));
        rig.part<QDateEdit>("fromDate")->setDate(QDate::currentDate().addDays(-2));
        rig.part<QDateEdit>("toDate")->setDate(QDate::currentDate().addDays(-1));
        rig.rescan();
        QCOMPARE(rig.status(), QString("0 Recordings were found"));
    }

    void hiddenColumnsStayShut() {
        RecordingsRig rig;
        RecordingsWindow& window = rig.open();
        QHeaderView* header = rig.list()->header();
        const int keyword = static_cast<int>(RecordingColumn::KeywordFoundAt);
        const int size = static_cast<int>(RecordingColumn::Size);
        QCOMPARE(window.HiddenColumns(), 1u << keyword);
        QCOMPARE(header->sectionSize(keyword), 0);
        QCOMPARE(header->visualIndex(keyword), 0);
        // Dragging the divider and double-clicking it (fit to the contents) change nothing.
        header->resizeSection(keyword, 90);
        rig.list()->resizeColumnToContents(keyword);
        QCOMPARE(header->sectionSize(keyword), 0);

        header->resizeSection(size, 123);
        window.SetColumnHidden(RecordingColumn::Size, true);
        QCOMPARE(window.HiddenColumns(), (1u << keyword) | (1u << size));
        QCOMPARE(header->sectionSize(size), 0);
        QCOMPARE(header->visualIndex(size), 0);
        QCOMPARE(header->visualIndex(keyword), 1);
        window.SetColumnHidden(RecordingColumn::Size, false);
        QCOMPARE(header->sectionSize(size), 123);
        // A column hidden from the start comes back as wide as its title.
        window.SetColumnHidden(RecordingColumn::KeywordFoundAt, false);
        QCOMPARE(window.HiddenColumns(), 0u);
        QVERIFY(header->sectionSize(keyword) > 0);
        header->resizeSection(keyword, 90);
        QCOMPARE(header->sectionSize(keyword), 90);
    }

    void placesWindowsWhereTheyWereLeft() {
        RecordingsRig rig;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        rig.settings.Write(setting::kFindWindowX, screen.left() + 40);
        rig.settings.Write(setting::kFindWindowY, screen.top() + 30);
        rig.settings.Write(setting::kFindWindowWidth, 700);
        rig.settings.Write(setting::kFindWindowHeight, 10);
        // The player was left on a monitor that is no longer there.
        rig.settings.Write(setting::kPlayerX, screen.right() + 5000);
        rig.settings.Write(setting::kPlayerWidth, 500);
        RecordingsWindow& window = rig.open();
        QCOMPARE(window.geometry().topLeft(), QPoint(screen.left() + 40, screen.top() + 30));
        QCOMPARE(window.width(), 700);
        // Raised to the minimum and written back.
        QCOMPARE(window.height(), window.minimumSizeHint().height());
        QCOMPARE(rig.settings.Read(setting::kFindWindowHeight), window.height());

        rig.select("b");
        QTest::keyClick(rig.list(), Qt::Key_F9);
        PlayerWindow* player = rig.player();
        QVERIFY(player != nullptr);
        QCOMPARE(player->frameGeometry().topLeft(), screen.topLeft());
        QCOMPARE(player->width(), 500);
        player->move(screen.left() + 20, screen.top() + 25);
        const QPoint moved = player->geometry().topLeft();
        QTest::keyClick(player, Qt::Key_Return);
        QCOMPARE(rig.settings.Read(setting::kPlayerX), moved.x());
        QCOMPARE(rig.settings.Read(setting::kPlayerY), moved.y());

        window.resize(720, 540);
        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        window.close();
        QVERIFY(rig.settings.Read(setting::kFindWindowMaximized));
        QCOMPARE(rig.settings.Read(setting::kFindWindowWidth), 720);
        QCOMPARE(rig.settings.Read(setting::kFindWindowHeight), 540);
        RecordingsWindow& again = rig.open();
        QVERIFY(again.isMaximized());
    }

    // The scan lists a FIFO without opening it (see the scanner's tests); playing it opens
    // nothing that could block either.
    void playingAFifoOpensNothingThatCouldBlock() {
        RecordingsRig rig;
        const std::string folder = rig.home.path() + "/odd";
        std::filesystem::create_directory(folder);
        QCOMPARE(mkfifo((folder + "/pipe.wav").c_str(), 0600), 0);
        rig.openOn(folder);
        QCOMPARE(rig.names(), QString("pipe"));
        rig.select("pipe");
        QTest::keyClick(rig.list(), Qt::Key_F9);
        QVERIFY(rig.player() != nullptr);
        QVERIFY(rig.engine.IsStopped());
    }

    void playsThroughTheSoundServer() {
        RecordingsRig rig;
        test::PulseServer server;
        if (!server.running()) {
            QSKIP(qPrintable(QString::fromStdString("no sound server: " + server.error())));
        }
        // 600 Hz for 2 s, then 1200 Hz: what is heard tells where in the file it came from.
        std::vector<InternalSample> tone = test::MakeSine(600, 0.5, kRate, kRate * 2);
        const std::vector<InternalSample> high = test::MakeSine(1200, 0.5, kRate, kRate * 6);
        tone.insert(tone.end(), high.begin(), high.end());
        rig.Record("tone.wav", 0, &tone);
        PulseWaveOutList devices;
        PlaybackEngine engine(devices, rig.dispatcher);
        const auto closeFirst = qScopeGuard([&] { rig.window.reset(); });
        RecordingsWindow& window = rig.openWith(engine, devices);
        const auto hold = [&](Qt::Key key, int ms) {
            QTest::keyPress(rig.list(), key);
            QTest::qWait(ms);
            QTest::keyRelease(rig.list(), key);
        };

        {
            test::MonitorRecording monitor(server);
            QVERIFY(monitor.started());
            rig.select("tone");
            QTest::keyClick(rig.list(), Qt::Key_F9);
            QVERIFY(rig.player() != nullptr);
            QTRY_VERIFY(ClockMs(rig.player()) >= 500);
            QTest::keyClick(rig.list(), Qt::Key_Space);
            QVERIFY(engine.IsStopped());
            QVERIFY(rig.player()->findChild<QToolButton*>("pause")->isChecked());
            QVERIFY(std::abs(LastPitch(monitor, 300) - 600) < 15);
        }
        const std::int64_t paused = ClockMs(rig.player());
        {
            test::MonitorRecording monitor(server);
            QTest::keyClick(rig.player(), Qt::Key_F9);
            hold(Qt::Key_Right, 2000);
            const std::int64_t released = ClockMs(rig.player());
            QVERIFY(released > 2200);
            QTRY_VERIFY(ClockMs(rig.player()) > released + 500);
            QTest::keyClick(rig.list(), Qt::Key_Space);
            QVERIFY(std::abs(LastPitch(monitor, 300) - 1200) < 25);
        }
        const std::int64_t forward = ClockMs(rig.player());
        QVERIFY(forward > paused);
        hold(Qt::Key_Left, 1500);
        QVERIFY(ClockMs(rig.player()) < forward);
        QVERIFY(engine.IsStopped());
        QTest::keyClick(rig.list(), Qt::Key_Escape);
        QCOMPARE(ClockMs(rig.player()), std::int64_t{0});

        // The slow and fast speeds keep the pitch all the way to the sound server.
        for (const Qt::Key speed : {Qt::Key_L, Qt::Key_F}) {
            test::MonitorRecording monitor(server);
            if (PlayerWindow* open = rig.player(); open != nullptr && open->isVisible()) {
                QTest::keyClick(open, Qt::Key_Return);
            }
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            rig.select("tone");
            QTest::keyClick(rig.list(), speed, Qt::ControlModifier);
            QVERIFY(rig.player() != nullptr);
            QTRY_VERIFY(ClockMs(rig.player()) >= 500);
            QTest::keyClick(rig.list(), Qt::Key_Escape);
            QVERIFY(engine.IsStopped());
            const double pitch = LastPitch(monitor, 300);
            QVERIFY2(std::abs(pitch - 600) < 15, qPrintable(QString::number(pitch)));
        }
        window.close();
    }

    void renamesInPlaceAndFollowsTheFolder() {
        RecordingsRig rig;
        RecordingsWindow& window = rig.open();
        const auto rename = [&](const QString& from, const QString& to) {
            rig.select(from);
            rig.list()->edit(rig.model()->index(rig.rowOf(from), 0));
            auto* editor = rig.list()->viewport()->findChild<QLineEdit*>();
            QVERIFY(editor != nullptr);
            editor->setText(to);
            QTest::keyClick(editor, Qt::Key_Return);
        };
        // The delegate commits an edit after the key press is handled. Every refused rename
        // (see the rename's own tests) gives this one warning.
        rename("b", "a.b");
        QTRY_COMPARE(rig.prompter.shown().size(), std::size_t(1));
        QCOMPARE(rig.prompter.shown().back().text, std::string(kRenameFailedText));
        QCOMPARE(rig.prompter.shown().back().title, std::string("Warning"));
        QVERIFY(rig.rowOf("b") >= 0 && std::filesystem::exists(rig.folder + "/b.wav"));

        rename("b", "renamed");
        QTRY_VERIFY(rig.rowOf("renamed") >= 0);
        QCOMPARE(rig.prompter.shown().size(), std::size_t(1));
        QVERIFY(rig.rowOf("b") < 0);
        QVERIFY(std::filesystem::exists(rig.folder + "/renamed.wav"));
        QVERIFY(!std::filesystem::exists(rig.folder + "/b.wav"));
        // The watcher sees the rename as the same recording, not as a new one.
        QTest::qWait(RecordingsWindow::kRefreshDelayMs * 3);
        QCOMPARE(rig.model()->rowCount(), 5);

        std::filesystem::copy_file(rig.folder + "/renamed.wav", rig.folder + "/new take.wav");
        QTRY_COMPARE(rig.status(), QString("6 Recordings were found"));
        QCOMPARE(rig.names(), QString("a.b renamed c long new take tone"));
        QCOMPARE(rig.text(rig.rowOf("new take"), RecordingColumn::Duration), QString("0:00:00"));
        rig.Record("later.aiff", 2);
        QTRY_COMPARE(rig.status(), QString("7 Recordings were found"));
        QCOMPARE(rig.text(rig.rowOf("later"), RecordingColumn::Duration), QString("0:00:02"));
        std::filesystem::remove(rig.folder + "/a.b.wav");
        QCOMPARE(window.RecordingFilePath(rig.rowOf("a.b")),
                 std::string(RecordingsWindow::kErrorInPath));
        QTRY_COMPARE(rig.status(), QString("6 Recordings were found"));
        QVERIFY(rig.rowOf("a.b") < 0);
    }

    void deleteMovesEveryFileOfTheRecordingToTheTrash() {
        RecordingsRig rig;
        const std::string folder = rig.home.path() + "/takes";
        std::filesystem::create_directory(folder);
        for (const char* name : {"take1.wav", "take1.mp3", "other.wav", "zebra.wav"}) {
            rig.Record(std::string("../takes/") + name, 1);
        }
        test::WriteTextFile(folder + "/take1.vrd", "data");
        rig.withActions = true;
        rig.openOn(folder);
        QAction* remove = rig.part<QToolBar>("toolbar")->findChild<QAction*>("deleteButton");
        QVERIFY(remove != nullptr);
        QVERIFY(!remove->isEnabled());
        rig.select("take1");
        QCOMPARE(rig.rowOf("take1"), 1);
        QVERIFY(remove->isEnabled());

        // No: nothing moves.
        rig.prompter.answer(PromptAnswer::No);
        remove->trigger();
        QVERIFY(std::filesystem::exists(folder + "/take1.wav"));

        rig.prompter.answer(PromptAnswer::Yes);
        remove->trigger();
        QCOMPARE(rig.prompter.shown().back().text, std::string(kDeleteQuestion));
        QCOMPARE(rig.prompter.shown().back().title, std::string(kDeleteTitle));
        QTRY_COMPARE(rig.status(), QString("2 Recordings were found"));
        for (const char* name : {"take1.wav", "take1.mp3", "take1.vrd"}) {
            QVERIFY(!std::filesystem::exists(folder + "/" + name));
            QVERIFY(std::filesystem::exists(rig.home.path() + "/share/Trash/files/" + name));
        }
        // The row of the first deleted item is selected again.
        const QModelIndexList selected = rig.list()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 1);
    }

    void backupDialogKeepsItsChoicesAndRefusesAMissingFolder() {
        RecordingsRig rig;
        rig.settings.Write(setting::kCompression, 2);
        LAudioFileBackupDlg dialog(rig.actions);
        auto* compression = dialog.findChild<QComboBox*>(QStringLiteral("compression"));
        QCOMPARE(compression->count(), 4);
        QCOMPARE(compression->currentText(), QString("MP3: Constant BitRate 16kb/sec"));
        QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("toFolder"))->isChecked());
        compression->setCurrentIndex(3);
        dialog.show();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(rig.prompter.shown().back().text,
                 std::string("Invalid Folder Selected For Compression"));
        QCOMPARE(rig.settings.Read(setting::kCompression), 2);

        dialog.findChild<QLineEdit*>(QStringLiteral("folder"))
            ->setText(QString::fromStdString(rig.home.path() + "/backup"));
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.settings.Read(setting::kCompression), 3);
        QCOMPARE(rig.settings.Read(setting::kCompressFolder), rig.home.path() + "/backup");
    }

    // The speech search of the selected recording with a scripted engine: the found times in the
    // list, and the found times window leading to the player at the back step before one.
    void speechSearchFindsTheKeywordsAndPlaysAFoundTime() {
        RecordingsRig rig;
        std::filesystem::create_directory(rig.home.path() + "/speech");
        rig.Record("../speech/long.wav", 126);
        RecordingsWindow& window = rig.openOn(rig.home.path() + "/speech");
        rig.part<QTabWidget>("pages")->setCurrentIndex(2);
        auto* update = rig.part<QPushButton>("update");
        auto* keywordsOn = rig.part<QCheckBox>("keywordsOn");
        keywordsOn->setChecked(false);
        QVERIFY(!update->isEnabled());
        keywordsOn->setChecked(true);
        QVERIFY(update->isEnabled());
        rig.part<QLineEdit>("keywords")->setText(QStringLiteral("yes, no"));
        QTest::mouseClick(update, Qt::LeftButton);
        QCOMPARE(rig.prompter.shown().size(), std::size_t{1});
        QCOMPARE(rig.prompter.shown().back().text, std::string(SpeechSearchPage::kNoEngineText));

        test::ScriptedSpeechEngines engines;
        engines.script = {{65400, "Yes please"}, {125000, "UHno"}};
        window.SetSpeechEngines(engines, nullptr);
        QCOMPARE(update->text(), QStringLiteral("Speech Search for Keywords"));
        const auto search = [&] {
            QTest::mouseClick(update, Qt::LeftButton);
            return QTest::qWaitFor(
                [&] { return rig.status().startsWith("Speech Search Complete."); });
        };
        QVERIFY(search());
        QCOMPARE(rig.status(), QStringLiteral("Speech Search Complete. No Recordings were found "
                                              "with the keywords ('yes, no')."));
        rig.select("long");
        QVERIFY(search());
        QCOMPARE(rig.status(), QStringLiteral("Speech Search Complete. 1 Recording was found with "
                                              "the keyword('yes, no')."));
        QCOMPARE(rig.text(0, RecordingColumn::KeywordFoundAt),
                 QStringLiteral("0:01:05.4, 0:02:05.0"));
        QVERIFY(rig.list()->header()->sectionSize(
                    static_cast<int>(RecordingColumn::KeywordFoundAt)) > 0);
        QCOMPARE(window.HiddenColumns(), 0u);

        rig.part<QLineEdit>("backStep")->setText(QStringLiteral("5"));
        QTest::keyClick(rig.list(), Qt::Key_F9);
        auto* found = window.findChild<FoundTimesWindow*>();
        QVERIFY(found != nullptr && found->isVisible());
        auto* times = found->findChild<QListWidget*>(QStringLiteral("foundTimes"));
        QCOMPARE(times->count(), 2);
        times->setCurrentRow(1);
        QTest::mouseClick(found->findChild<QPushButton*>(QStringLiteral("playFound")),
                          Qt::LeftButton);
        QTRY_VERIFY(rig.player() != nullptr);
        QCOMPARE(rig.settings.Read(setting::kPlayOffset), 120000);
        QCOMPARE(FoundTimesWindow::StartFor(3000, "5"), std::int64_t{0});

        rig.list()->clearSelection();
        QVERIFY(!found->isVisible());
        window.close();
        QCOMPARE(rig.settings.Read(setting::kFindWindowTab), 2);
    }

    void playsTheFileToItsEnd() {
        PlayerRig rig;
        rig.outputs.script().SetAutoPlay(true);
        rig.open();
        QTRY_VERIFY(rig.engine.IsStopped());
        QCOMPARE(rig.clock(), QString("0:00:02.00"));
        QCOMPARE(rig.part<QSlider>("seekBar")->value(), 100);
        QVERIFY(rig.part<QToolButton>("stop")->isChecked());
        QVERIFY(!rig.part<QToolButton>("play")->isChecked());

        // Playing again from the end starts over.
        rig.key(Qt::Key_F9);
        QTRY_VERIFY(rig.engine.IsStopped() && rig.output().writtenFrames == kFrames);
        QCOMPARE(rig.output().samples, rig.file);

        QCOMPARE(PlayerClockText(((1 * 60 + 2) * 60 + 3) * 1000 + 456), QString("1:02:03.46"));
        QCOMPARE(PlayerClockText(-300), QString("0:00:00.00"));
    }

    void pauseKeepsThePlaceAndStopGoesToTheStart() {
        PlayerRig rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.outputs.script().Hear(kRate);
        QTRY_COMPARE(rig.clock(), QString("0:00:01.00"));
        QVERIFY(rig.part<QToolButton>("play")->isChecked());
        QVERIFY(test::SaveScreenshot(*rig.window, "player_window.png"));

        rig.key(Qt::Key_Space);
        QVERIFY(rig.engine.IsStopped());
        QVERIFY(!rig.output().open);
        QCOMPARE(rig.clock(), QString("0:00:01.00"));
        QVERIFY(rig.part<QToolButton>("pause")->isChecked());
        QVERIFY(!rig.part<QToolButton>("stop")->isChecked());

        rig.key(Qt::Key_F9);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames - kRate);
        QCOMPARE(rig.writtenFrom(kFrames - kRate), std::optional<std::int64_t>(kRate));
        QVERIFY(!rig.part<QToolButton>("pause")->isChecked());

        rig.key(Qt::Key_Escape);
        QVERIFY(rig.window->isVisible());
        QVERIFY(!rig.output().open);
        QCOMPARE(rig.clock(), QString("0:00:00.00"));
        QVERIFY(rig.part<QToolButton>("stop")->isChecked());

        // The last three seconds of a two-second file are all of it.
        rig.key(Qt::Key_F9, Qt::AltModifier);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.key(Qt::Key_Return);
        QVERIFY(!rig.window->isVisible());
        QVERIFY(!rig.output().open);
    }

    void endHomeAndTheSeekBarMoveThePlay() {
        PlayerRig rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        // Each move flushes the output and plays on from the new place to the end. The count
        // is taken before the move: the engine writes again as soon as it has sought.
        const auto playsOnFrom = [&](std::int64_t frame, const auto& move) {
            const std::int64_t before = rig.output().writtenFrames;
            move();
            if (!QTest::qWaitFor(
                    [&] { return rig.output().writtenFrames == before + kFrames - frame; })) {
                return false;
            }
            const auto written = rig.output().samples;
            return std::equal(written.end() - (kFrames - frame), written.end(),
                              rig.file.begin() + frame);
        };
        QVERIFY(playsOnFrom(kRate / 2, [&] { rig.key(Qt::Key_End); }));
        QCOMPARE(rig.clock(), QString("0:00:00.50"));
        QVERIFY(playsOnFrom(kRate * 3 / 2, [&] { rig.part<QSlider>("seekBar")->setValue(75); }));
        QCOMPARE(rig.clock(), QString("0:00:01.50"));
        QVERIFY(playsOnFrom(0, [&] { rig.key(Qt::Key_Home); }));
        QCOMPARE(rig.clock(), QString("0:00:00.00"));
        QCOMPARE(rig.output().flushes, 3);

        rig.key(Qt::Key_Space);
        rig.key(Qt::Key_End);
        QCOMPARE(rig.clock(), QString("0:00:02.00"));
        QCOMPARE(rig.part<QSlider>("seekBar")->value(), 100);
    }

    void deviceAndVolumeAreKept() {
        PlayerRig rig;
        rig.settings.Write(setting::kPlayerDevice, "Headphones");
        rig.settings.Write(setting::kPlayerVolumeDb, -9);
        rig.open();
        auto* devices = rig.part<QComboBox>("device");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(0), QString("[Default Sound Out]"));
        QCOMPARE(devices->currentText(), QString("Headphones"));
        QCOMPARE(rig.part<QSlider>("volume")->value(), 80);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        QCOMPARE(rig.output().deviceName, std::string("Headphones"));
        QCOMPARE(rig.output().volumeDb, -9);

        // A device chosen while playing takes over at once.
        devices->setCurrentIndex(1);
        QTRY_COMPARE(rig.output().deviceName, std::string("Speakers"));
        rig.part<QSlider>("volume")->setValue(40);
        QCOMPARE(rig.output().volumeDb, -27);
        auto* name = rig.part<QLineEdit>("name");
        QCOMPARE(name->text(), QString("take"));
        QTest::keyClicks(name, " two");
        rig.window->close();
        QVERIFY(rig.provider.titleChanged());
        QCOMPARE(rig.provider.title(), std::string("take two"));
        QCOMPARE(rig.settings.Read(setting::kPlayerDevice), std::string("Speakers"));
        QCOMPARE(rig.settings.Read(setting::kPlayerVolumeDb), -27);

        // A device that is gone is the default one.
        rig.settings.Write(setting::kPlayerDevice, "USB Headset");
        rig.open();
        QCOMPARE(rig.part<QComboBox>("device")->currentIndex(), 0);
    }

    void slowSpeedPlaysThroughTheStretch() {
        PlayerRig rig;
        rig.settings.Write(setting::kCurrentSpeed, 50);
        rig.outputs.script().SetAutoPlay(true);
        rig.open();
        QTRY_VERIFY(rig.engine.IsStopped() && rig.output().writtenFrames > 0);
        QVERIFY2(rig.output().writtenFrames > kFrames * 19 / 10, "half speed lasts twice as long");
    }

    void heldCueRunsAheadAndReleaseGoesBackToPlay() {
        PlayerRig rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.outputs.script().Hear(kRate / 2);
        QTRY_COMPARE(rig.clock(), QString("0:00:00.50"));

        QTest::keyPress(rig.window.get(), Qt::Key_Right);
        QVERIFY(rig.part<QToolButton>("forward")->isDown());
        QTRY_VERIFY(rig.output().writtenFrames > kRate / 4);
        QVERIFY2(!rig.writtenFrom(kRate / 4), "grains of the cue, not the file as it is");
        // Half a second heard at 1.5 times speed and more: normal play would show 1.00.
        rig.outputs.script().Hear(kRate / 2);
        QTRY_VERIFY(rig.clockMs() >= 1150);

        QTest::keyRelease(rig.window.get(), Qt::Key_Right);
        QVERIFY(!rig.part<QToolButton>("forward")->isDown());
        const std::int64_t cuedTo = rig.clockMs();
        QTRY_VERIFY(rig.output().writtenFrames >= kRate / 4);
        const std::optional<std::int64_t> from = rig.writtenFrom(kRate / 4);
        QVERIFY2(from, "normal play again");
        QVERIFY(std::abs(*from - cuedTo * kRate / 1000) <= kRate / 100);
        QVERIFY(rig.part<QToolButton>("play")->isChecked());

        // Forward that cannot start says so.
        rig.outputs.script().FailOpen("the sound server went away");
        QTest::keyPress(rig.window.get(), Qt::Key_Right);
        QTest::keyRelease(rig.window.get(), Qt::Key_Right);
        QCOMPARE(rig.prompter.shown().size(), std::size_t{1});
        QCOMPARE(rig.prompter.shown()[0].title, std::string("Sound Device Error"));
        QCOMPARE(rig.prompter.shown()[0].text,
                 std::string("There was an unknown problem when starting the sound device."));
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::RecordingsWindowTest)
#include "recordings_window_test.moc"
