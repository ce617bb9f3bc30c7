#include "ui/status_bar_task.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "platform/qt_ui_dispatcher.h"

namespace sonaro {
namespace {

// Reports like a send does, then works until its listener asks it to cancel.
class CancellableJob final : public LProgressReporter {
  public:
    using LProgressReporter::LProgressReporter;
    ~CancellableJob() override { Stop(); }
    std::atomic<bool> cancelled{false};

  protected:
    void Run() override {
        ReportStatus("Connecting to ftp.example.org", 0);
        ReportStatus("Sending Untitled 001.wav", 1);
        ReportProgress(0.25);
        ReportMessage("Cannot upload the file \"Untitled 001.wav\" to the FTP Server.");
        ReportMessage("a second failure before the first was shown");
        while (!listener().IsCancelRequested()) {
            if (WaitStop(5)) {
                return;
            }
        }
        cancelled = true;
        ReportProgress(0.0);
    }
};

}  // namespace

class StatusBarTaskTest : public QObject {
    Q_OBJECT

  private slots:
    void showsTheJobAndCancelsIt() {
        QtUiDispatcher dispatcher;
        QWidget bar;
        auto* task = new StatusBarTask(&bar);
        bar.show();
        QVERIFY(task->isHidden());
        auto* progress = task->findChild<QProgressBar*>();
        auto* message = task->findChild<QLabel*>("taskMessage");
        CancellableJob job(dispatcher);
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

QTEST_MAIN(sonaro::StatusBarTaskTest)
#include "status_bar_task_test.moc"
