#include "platform/qt_ui_dispatcher.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

namespace sonaro {

class QtUiDispatcherTest : public QObject {
    Q_OBJECT

  private slots:
    void tasksFromWorkersRunOnTheUiThreadInPostingOrder() {
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
    }

    void tasksPendingAtDestructionAreDropped() {
        int ran = 0;
        {
            QtUiDispatcher dispatcher;
            dispatcher.post([&] { ++ran; });
        }
        QCoreApplication::processEvents();
        QCOMPARE(ran, 0);
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::QtUiDispatcherTest)
#include "qt_ui_dispatcher_test.moc"
