#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>

#include "platform/qt_ui_dispatcher.h"
#include "threads/progress_reporter.h"
#include "ui/qt_prompter.h"

namespace sonaro {
namespace {

// Reports a little, then ends by itself or runs until stopped.
class ScriptedJob final : public LProgressReporter {
  public:
    ScriptedJob(UiDispatcher& dispatcher, bool untilStopped)
        : LProgressReporter(dispatcher), m_untilStopped(untilStopped) {}
    ~ScriptedJob() override { Stop(); }

    std::atomic<bool> sawStop{false};

  protected:
    void Run() override {
        ReportStatus("Download install-on-demand", 0);
        ReportStatus("mp3el", 1);
        ReportProgress(0.5);
        if (m_untilStopped) {
            sawStop.store(WaitStop(30000));
        }
    }

  private:
    bool m_untilStopped;
};

QProgressDialog* openProgressDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

}  // namespace

class QtPrompterTest : public QObject {
    Q_OBJECT

  private slots:
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
        QtPrompter prompter;
        QString label;
        int value = -1;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (QProgressDialog* dialog = openProgressDialog()) {
                label = dialog->labelText();
                value = dialog->value();
            }
        });
        watch.start(5);
        prompter.RunWithProgress("Install-on-Demand", job);
        QVERIFY(!job.IsRunning());
        QTRY_COMPARE(label, QStringLiteral("Download install-on-demand\nmp3el"));
        QCOMPARE(value, 50);
    }

    void cancelStopsTheJob() {
        QtUiDispatcher dispatcher;
        ScriptedJob job(dispatcher, true);
        QtPrompter prompter;
        QTimer cancelSoon;
        connect(&cancelSoon, &QTimer::timeout, this, [&] {
            if (QProgressDialog* dialog = openProgressDialog()) {
                if (auto* button = dialog->findChild<QPushButton*>()) {
                    button->click();
                }
            }
        });
        cancelSoon.start(10);
        prompter.RunWithProgress("Install-on-Demand", job);
        QVERIFY(job.sawStop.load());
        QVERIFY(!job.IsRunning());
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::QtPrompterTest)
#include "qt_prompter_test.moc"
