#include "ui/qt_prompter.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/qt_ui_dispatcher.h"
#include "threads/progress_reporter.h"
#include "ui/status_bar_task.h"

namespace sonaro {
namespace {

// Reports like a send does; then ends, or works on until it is stopped or asked to cancel (for
// half a minute at most, so that a cancel that never arrives fails instead of hanging).
class ScriptedJob final : public LProgressReporter {
  public:
    ScriptedJob(UiDispatcher& dispatcher, bool untilStopped)
        : LProgressReporter(dispatcher), m_untilStopped(untilStopped) {}
    ~ScriptedJob() override { Stop(); }

    std::atomic<bool> stopped{false};
    std::atomic<bool> cancelled{false};

  protected:
    void Run() override {
        ReportStatus("Connecting to ftp.example.org", 0);
        ReportStatus("Sending Untitled 001.wav", 1);
        ReportProgress(0.25);
        ReportMessage("Cannot upload the file \"Untitled 001.wav\" to the FTP Server.");
        ReportMessage("a second failure before the first was shown");
        for (int wait = 0; m_untilStopped && wait < 6000; ++wait) {
            if (listener().IsCancelRequested()) {
                cancelled = true;
                ReportProgress(0.0);
                return;
            }
            if (WaitStop(5)) {
                stopped = true;
                return;
            }
        }
    }

  private:
    bool m_untilStopped;
};

// Runs `job` behind the prompter's progress window and hands the window to `watch` every few ms.
template <typename Watch>
void RunWatched(LProgressReporter& job, Watch watch) {
    QtPrompter prompter;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QProgressDialog*>(widget);
                dialog && dialog->isVisible()) {
                watch(dialog);
            }
        }
    });
    timer.start(5);
    prompter.RunWithProgress("Install-on-Demand", job);
}

}  // namespace

// The prompter, the status bar's task display and the dispatcher that carries a job's reports
// to the interface thread.
class QtPrompterTest : public QObject {
    Q_OBJECT

  private slots:
    void tasksFromWorkersRunOnTheUiThreadInPostingOrderUnlessDropped() {
        QtUiDispatcher dispatcher;
        std::vector<int> order;
        std::atomic<int> offThread{0};
        QThread* const uiThread = QThread::currentThread();
        std::thread worker([&] {
            for (int i = 0; i < 500; ++i) {
                dispatcher.post([&, i] {
                    offThread += QThread::currentThread() != uiThread;
                    order.push_back(i);
                });
            }
        });
        worker.join();
        QTRY_COMPARE(order.size(), std::size_t{500});
        QCOMPARE(offThread.load(), 0);
        for (int i = 0; i < 500; ++i) {
            QCOMPARE(order[static_cast<std::size_t>(i)], i);
        }

        // Tasks still pending when the dispatcher goes are dropped.
        int ran = 0;
        {
            QtUiDispatcher gone;
            gone.post([&] { ++ran; });
        }
        QCoreApplication::processEvents();
        QCOMPARE(ran, 0);
    }

    void headlessBoxesTakeTheirDefault() {
        QVERIFY(QtPrompter::IsHeadless());
        QtPrompter prompter;
        QCOMPARE(prompter.ShowMessage({"Create it?", "Create Folder", PromptButtons::YesNo,
                                       PromptIcon::Question, PromptAnswer::Yes}),
                 PromptAnswer::Yes);
        QVERIFY(!prompter.AskYesNo("Report?", "Abnormal Execution Problem"));
    }

    void progressWindowShowsTheJobUntilItEnds() {
        QtUiDispatcher dispatcher;
        ScriptedJob job(dispatcher, false);
        QString label;
        int value = -1;
        RunWatched(job, [&](QProgressDialog* dialog) {
            label = dialog->labelText();
            value = dialog->value();
        });
        QVERIFY(!job.IsRunning());
        QTRY_COMPARE(label,
                     QStringLiteral("Connecting to ftp.example.org\nSending Untitled 001.wav"));
        QCOMPARE(value, 25);
    }

    void cancelInTheProgressWindowEndsTheJob() {
        QtUiDispatcher dispatcher;
        ScriptedJob job(dispatcher, true);
        RunWatched(job, [](QProgressDialog* dialog) {
            if (auto* button = dialog->findChild<QPushButton*>()) {
                button->click();
            }
        });
        QVERIFY(job.stopped || job.cancelled);
        QVERIFY(!job.IsRunning());
    }

    void statusBarShowsTheJobAndCancelsIt() {
        QtUiDispatcher dispatcher;
        QWidget bar;
        auto* task = new StatusBarTask(&bar);
        bar.show();
        QVERIFY(task->isHidden());
        auto* progress = task->findChild<QProgressBar*>();
        auto* message = task->findChild<QLabel*>("taskMessage");
        ScriptedJob job(dispatcher, true);
        job.SetListener(task);
        job.Start();

        QTRY_COMPARE(progress->value(), 25);
        QVERIFY(task->isVisible());
        QCOMPARE(task->findChild<QLabel*>("taskStatus")->text(),
                 QString("Connecting to ftp.example.org  \u2013  Sending Untitled 001.wav"));
        QTRY_COMPARE(message->text(),
                     QString("Cannot upload the file \"Untitled 001.wav\" to the FTP Server."));
        QVERIFY(!task->IsCancelRequested());

        QTest::mouseClick(task->findChild<QPushButton*>(), Qt::LeftButton);
        QTRY_VERIFY(job.cancelled.load());
        QTRY_VERIFY(!progress->isVisible());
        QVERIFY(!task->IsCancelRequested());  // the next job is not cancelled in advance
        QVERIFY(message->isVisible());        // the failure stays until clicked away

        QTest::mouseClick(message, Qt::LeftButton);
        QVERIFY(task->isHidden());
        job.SetListener(nullptr);
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::QtPrompterTest)
#include "qt_prompter_test.moc"
