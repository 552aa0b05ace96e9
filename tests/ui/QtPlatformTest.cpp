// The window's platform side: a worker asks through a real Qt message box on the main thread and waits for
// the answer, and a failure on the main thread travels back to the worker.

#include "ui/QtPlatform.h"
#include "common/QtTestUtil.h"
#include "platform/Dialogs.h"
#include "platform/Thread.h"

#include <QMessageBox>
#include <future>
#include <stdexcept>

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void WorkerAsksAndGetsFailuresBack() {
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
            const int Answer = ShowMessageBox("Overwrite it?", "Question", mbYesNo);
            try {
                RunOnMainThread([] { throw std::runtime_error(" handler failed"); });
            } catch (const std::runtime_error& E) {
                return std::to_string(Answer) + E.what();
            }
            return std::string("nothing raised");
        });
        while (Worker.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QCOMPARE(Worker.get(), std::to_string(idNo) + " handler failed");
        QCOMPARE(Shown, QString("Question|Overwrite it?"));
    }
};

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"
