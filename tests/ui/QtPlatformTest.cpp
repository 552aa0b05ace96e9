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

namespace {

// Handles events until the worker's result is there.
template <class T> T Finish(std::future<T>& Worker) {
    while (Worker.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return Worker.get();
}

} // namespace

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void WorkerWaitsForTheMainThreadAndGetsItsFailure() {
        TQtPlatform Platform;
        std::atomic<bool> OnMain{false};
        auto Worker = std::async(std::launch::async, [&] {
            bool Ran = false;
            RunOnMainThread([&] {
                OnMain = QThread::currentThread() == qApp->thread();
                QThread::msleep(50); // the worker must still be waiting here
                Ran = true;
            });
            try {
                RunOnMainThread([] { throw std::runtime_error("handler failed"); });
            } catch (const std::runtime_error& E) {
                return Ran ? std::string(E.what()) : std::string("did not wait");
            }
            return std::string("nothing raised");
        });
        QCOMPARE(Finish(Worker), std::string("handler failed"));
        QVERIFY(OnMain);
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
        QCOMPARE(Finish(Worker), int(idNo));
        QCOMPARE(Shown, QString("Question|Overwrite it?"));
    }
};

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"
