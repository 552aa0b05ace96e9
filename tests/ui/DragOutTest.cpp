// Getting matches out: Launch hands the shown file to the desktop; a drag out of the tree starts past a
// threshold, carries the archive or the entry, and extracts the entry only when a drop target asks.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "ui/DropSource.h"
#include "ui/QtPlatform.h"

#include <QDesktopServices>
#include <QMouseEvent>

using testutil::Child;

class DragOutTest : public QObject {
    Q_OBJECT

public slots:
    void OpenUrl(const QUrl& Url) { Opened << Url; }

private:
    QList<QUrl> Opened;

    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<testutil::TScratchDir> Tree;
    std::unique_ptr<TForm1> Form;
    std::string Zip;

    QTreeWidget* View() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    TDropFileSource* Source() { return Child<TDropFileSource>(Form.get(), "DropFileSource1"); }

    void Send(QEvent::Type Type, QPoint At, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Mods) {
        QWidget* Port = View()->viewport();
        QMouseEvent E(Type, At, Port->mapToGlobal(At),
                      Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Buttons, Mods);
        QApplication::sendEvent(Port, &E);
    }
    // Presses on the node and moves by Delta with the buttons and keys given; true when a drag started.
    bool Drag(QTreeWidgetItem* Node, QPoint Delta, Qt::MouseButtons Buttons = Qt::LeftButton,
              Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        View()->setCurrentItem(Node);
        const QPoint At = View()->visualItemRect(Node).center();
        Source()->Files = {"untouched"};
        Send(QEvent::MouseButtonPress, At, Qt::LeftButton, Qt::NoModifier);
        Send(QEvent::MouseMove, At + Delta, Buttons, Mods);
        Send(QEvent::MouseButtonRelease, At + Delta, Qt::NoButton, Qt::NoModifier);
        return Source()->Files != QStringList{"untouched"};
    }
    // What a drop target on the desktop receives after the user let go over it.
    QList<QUrl> Dropped() {
        Source()->GiveFeedback(deCopy);
        std::unique_ptr<QMimeData> Data(Source()->CreateMimeData());
        return Data->urls();
    }

private slots:
    void initTestCase() {
        // Two entries share a bare name; only the second holds the text.
        Tree = std::make_unique<testutil::TScratchDir>();
        Zip = testutil::MakeZip(
            *Tree / "a.zip", {{"a/Unit1.pas", "other text\n"}, {"dir/Unit1.pas", "the needle here\n"}}, "-0");
        Platform = std::make_unique<TQtPlatform>();
        Form = testutil::ShowForm();
        QVERIFY(Form);
        testutil::StartSearch(Form.get(), "needle", QString::fromStdString(Tree->Path()),
                              {"All Files (*.*)"});
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QCOMPARE(testutil::TreeTexts(View()), (QStringList{"A.ZIP", "  dir/Unit1.pas"}));
    }
    void cleanupTestCase() {
        Form.reset();
        Platform.reset();
    }

    void LaunchOpensTheShownFile() {
        View()->setCurrentItem(View()->topLevelItem(0)->child(0));
        const std::string Shown = Form->LastTempFile();
        QCOMPARE(testutil::ReadFile(Shown), std::string("the needle here\n"));
        QDesktopServices::setUrlHandler("file", this, "OpenUrl");
        auto* Launch = Child<QPushButton>(Form.get(), "LaunchBtn");
        Launch->setEnabled(true); // whether the desktop has a program for ".pas" is not the point here
        QTest::mouseClick(Launch, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(Opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Shown))});
        QVERIFY(!QApplication::overrideCursor());
    }

    void StartsOnlyPastTheThresholdWithOneButton() {
        QTreeWidgetItem* Entry = View()->topLevelItem(0)->child(0);
        struct {
            QPoint Delta;
            Qt::MouseButtons Buttons;
            Qt::KeyboardModifiers Mods;
            bool Starts;
        } const Rows[] = {
            {{9, 9}, Qt::LeftButton, Qt::NoModifier, false},
            {{10, 0}, Qt::LeftButton, Qt::NoModifier, true},
            {{0, -10}, Qt::LeftButton, Qt::NoModifier, true},
            {{0, 10}, Qt::RightButton, Qt::NoModifier, true},
            {{10, 10}, Qt::LeftButton, Qt::ShiftModifier, false},
            {{10, 10}, Qt::LeftButton, Qt::ControlModifier, false},
            {{10, 10}, Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false},
        };
        for (const auto& R : Rows)
            QCOMPARE(Drag(Entry, R.Delta, R.Buttons, R.Mods), R.Starts);
        // Nothing selected, nothing to drag.
        View()->clearSelection();
        Source()->Files = {"untouched"};
        Send(QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::NoModifier);
        View()->clearSelection();
        Send(QEvent::MouseMove, {40, 40}, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(Source()->Files, QStringList{"untouched"});
    }

    void DropsWhatWasDragged() {
        QVERIFY(Drag(View()->topLevelItem(0), {0, 15}));
        QCOMPARE(Dropped(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Zip))});
        QVERIFY(Drag(View()->topLevelItem(0)->child(0), {12, 0}));
        QCOMPARE(Source()->Files,
                 QStringList{QString::fromStdString("$$$" + Tree->Path() + "/A.ZIP$$$dir/Unit1.pas")});
        const std::string Temp = JoinPath(PrivateTempFolder(), "Unit1.pas");
        DeleteFile(Temp);
        QCOMPARE(Dropped(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Temp))});
        QCOMPARE(testutil::ReadFile(Temp), std::string("the needle here\n"));
    }

    // A damaged entry cancels the drop, leaves no stale copy to drop instead, and says why afterwards.
    void FailedExtractionCancelsTheDrop() {
        std::string Bytes = testutil::ReadFile(Zip);
        Bytes[Bytes.find("the needle")] = 'T';
        testutil::WriteFile(Zip, Bytes);
        testutil::TBoxAnswers Boxes;
        QVERIFY(Drag(View()->topLevelItem(0)->child(0), {12, 0}));
        QCOMPARE(Dropped(), QList<QUrl>());
        QVERIFY(!FileExists(JoinPath(PrivateTempFolder(), "Unit1.pas")));
        QVERIFY(Boxes.Texts.empty());
        QTRY_COMPARE(Boxes.Texts.size(), size_t(1));

        // An archive gone since the search: nothing dropped.
        std::remove(Zip.c_str());
        QVERIFY(Drag(View()->topLevelItem(0)->child(0), {12, 0}));
        QCOMPARE(Dropped(), QList<QUrl>());
        QTRY_COMPARE(Boxes.Texts.size(), size_t(2));
    }

    // A drop target asks for the list: the owner is asked once, and may put the real file in its place;
    // refused, or over a target that accepted nothing, no data however often it is asked for.
    void DesktopData() {
        TDropFileSource Source(nullptr);
        Source.Files = {"$$$/a/b.zip$$$x y.txt"};
        int Asked = 0;
        bool Allow = true;
        Source.OnDrop = [&](TDropSource& S, TDragType, bool& Continue) {
            ++Asked;
            static_cast<TDropFileSource&>(S).Files[0] = "/tmp/x y.txt";
            Continue = Allow;
        };
        Source.GiveFeedback(deCopy);
        std::unique_ptr<QMimeData> Data(Source.CreateMimeData());
        QCOMPARE(Data->formats(), (QStringList{"text/uri-list", "text/plain"}));
        QCOMPARE(Data->data("text/uri-list"), QByteArray("file:///tmp/x%20y.txt\r\n"));
        QCOMPARE(Data->text(), QString("/tmp/x y.txt"));
        QCOMPARE(Asked, 1);
        for (uint32_t Effect : {deCopy, deNone}) {
            Allow = false;
            Source.GiveFeedback(Effect);
            Data.reset(Source.CreateMimeData());
            QVERIFY(Data->data("text/uri-list").isEmpty() && Data->data("text/plain").isEmpty());
        }
        QCOMPARE(Asked, 2);
    }
};

QTEST_MAIN(DragOutTest)
#include "DragOutTest.moc"
