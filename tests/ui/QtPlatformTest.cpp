// The window's platform side: workers hand work to the Qt main thread and wait for it, failures travel
// back, and message boxes asked for by a worker are real Qt boxes on the main thread.

#include "ui/QtPlatform.h"
#include "common/QtTestUtil.h"
#include "platform/Dialogs.h"
#include "platform/Thread.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <future>
#include <stdexcept>

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void WorkerWaitsForTheMainThread() {
        TQtPlatform Platform;
        std::atomic<bool> Ran{false};
        std::atomic<bool> OnMain{false};
        auto Worker = std::async(std::launch::async, [&] {
            RunOnMainThread([&] {
                OnMain = QThread::currentThread() == qApp->thread();
                QThread::msleep(50); // the worker must still be waiting here
                Ran = true;
            });
            return Ran.load();
        });
        while (Worker.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QVERIFY(Worker.get());
        QVERIFY(OnMain);
    }

    void FailureReachesTheWorker() {
        TQtPlatform Platform;
        auto Worker = std::async(std::launch::async, [] {
            try {
                RunOnMainThread([] { throw std::runtime_error("handler failed"); });
            } catch (const std::runtime_error& E) {
                return std::string(E.what());
            }
            return std::string("nothing raised");
        });
        while (Worker.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QCOMPARE(Worker.get(), std::string("handler failed"));
    }

    void WorkerAsksThroughAQtBox() {
        TQtPlatform Platform;
        QString Shown;
        testutil::OnNextModal([&](QWidget* W) {
            auto* Box = qobject_cast<QMessageBox*>(W);
            QVERIFY(Box);
            Shown = Box->windowTitle() + "|" + Box->text();
            Box->button(QMessageBox::No)->click();
        });
        auto Worker = std::async(std::launch::async, [] {
            MessageBeep();
            return ShowMessageBox("Overwrite it?", "Question", mbYesNo);
        });
        while (Worker.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QCOMPARE(Worker.get(), int(idNo));
        QCOMPARE(Shown, QString("Question|Overwrite it?"));
    }
};

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"
