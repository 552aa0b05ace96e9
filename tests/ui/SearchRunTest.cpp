// Searches run through the window over folders made here: the locked inputs, the tree and counter, the status
// line, the histories, Stop, and closing or destroying the window while its worker runs; the match tree as
// matches build it, how a selected entry turns back into an archive's path and an entry name, and how it is
// dragged out; message boxes a worker asks for.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "ui/DropSource.h"
#include "ui/QtPlatform.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <future>

using testutil::Child;
using testutil::TBoxAnswers;
using testutil::TScratchDir;

class SearchRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TForm1> Form;
    std::unique_ptr<TScratchDir> Matches; // archives with matching and other entries, a plain file
    std::unique_ptr<TScratchDir> Crowd;   // many small files, so a search lasts

    QString Status() { return Child<QLabel>(Form.get(), "lblCurrent")->text(); }
    QString Counter() { return Child<QLabel>(Form.get(), "MatchLbl")->text(); }
    QPushButton* Go() { return Child<QPushButton>(Form.get(), "GoBtn"); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QStringList Items(const char* Name) {
        QStringList Texts;
        for (int I = 0; I < Combo(Name)->count(); ++I)
            Texts << Combo(Name)->itemText(I);
        return Texts;
    }
    QString Folder() { return QString::fromStdString(Matches->Path()); }
    void Search(const QString& Text, const QString& Where) {
        testutil::StartSearch(Form.get(), Text, Where, {"Text Files (*.txt)"});
    }
    void WaitForEnd() { QVERIFY(testutil::WaitForSearchEnd(Form.get())); }
    // The counter, the status line, Go's caption and the controls a user can use.
    QString Seen() {
        QString Names;
        for (const char* Name :
             {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk", "BrowseBtn", "MaskTypes",
              "AddMaskBtn", "SelfExChk", "FindNextBtn", "ViewerBtn", "LaunchBtn", "GoBtn", "TreeView1"})
            if (Child<QWidget>(Form.get(), Name)->isEnabled())
                Names += QString(" ") + Name;
        return Counter() + " | " + Status() + " | " + Go()->text() + " |" + Names;
    }

    // Starts a search over the crowd and returns once the worker has reported its first file. Every report
    // waits for the main thread, and events are handled here one round at a time, so the walk cannot have
    // got far.
    void StartLongSearch() {
        Search("needle", QString::fromStdString(Crowd->Path()));
        QElapsedTimer Clock;
        Clock.start();
        while (!Status().startsWith("Examining: ") && Clock.elapsed() < 10000)
            QCoreApplication::processEvents();
        QVERIFY(Status().startsWith("Examining: " + QString::fromStdString(Crowd->Path())));
        QVERIFY(Form->Seeker().Running());
    }

    TDropFileSource* Source() { return Child<TDropFileSource>(Form.get(), "DropFileSource1"); }
    void Send(QEvent::Type Type, QPoint At, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Mods) {
        QWidget* Port = Tree()->viewport();
        QMouseEvent E(Type, At, Port->mapToGlobal(At),
                      Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Buttons, Mods);
        QApplication::sendEvent(Port, &E);
    }
    // Presses on the node and moves by Delta with the buttons and keys given; true when a drag started.
    bool Drag(QTreeWidgetItem* Node, QPoint Delta, Qt::MouseButtons Buttons = Qt::LeftButton,
              Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        Tree()->setCurrentItem(Node);
        const QPoint At = Tree()->visualItemRect(Node).center();
        Source()->Files = {"untouched"};
        Send(QEvent::MouseButtonPress, At, Qt::LeftButton, Qt::NoModifier);
        Send(QEvent::MouseMove, At + Delta, Buttons, Mods);
        Send(QEvent::MouseButtonRelease, At + Delta, Qt::NoButton, Qt::NoModifier);
        return Source()->Files != QStringList{"untouched"};
    }
    // The files a drop target on the desktop receives after the user let go over it.
    QString Dropped() {
        Source()->GiveFeedback(deCopy);
        return std::unique_ptr<QMimeData>(Source()->CreateMimeData())->text();
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Matches = std::make_unique<TScratchDir>();
        const TScratchDir& M = *Matches;
        testutil::MakeZip(M / "a.zip", {{"one.txt", "hello needle"},
                                        {"src/two.txt", "needle at the start"},
                                        {"three.c", "needle in a type not ticked"},
                                        {"four.txt", "no match"},
                                        {"br[1].txt", "more needle"}});
        testutil::MakeZip(M / "sub/b.zip", {{"x.txt", "a needle"}});
        testutil::WriteFile(M / "zz.exe", "MZ... needle ...");
        testutil::WriteFile(M / "notes.txt", "needle, but no archive and no program");
        Crowd = std::make_unique<TScratchDir>();
        for (int I = 0; I < 300; ++I)
            testutil::WriteFile(*Crowd / QString("f%1.zip").arg(I, 5, 10, QChar('0')).toStdString(), "x");
    }
    void cleanupTestCase() {
        Crowd.reset();
        Matches.reset();
        Platform.reset();
    }
    void init() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
    }
    void cleanup() { Form.reset(); }

    void SearchBuildsTheTreeAndEnds() {
        TBoxAnswers Boxes;
        Search("NEEDLE", Folder());
        QVERIFY(Seen().endsWith("| &Stop | GoBtn TreeView1"));
        WaitForEnd();
        QCOMPARE(testutil::TreeTexts(Tree()), QStringList({"A.ZIP", "  one.txt", "  src/two.txt",
                                                           "  br[1].txt", "sub/B.ZIP", "  x.txt", "ZZ.EXE"}));
        // a.zip, sub/b.zip and zz.exe; notes.txt is no archive.
        const QString Idle =
            " | &Go | SearchStr SearchPath CaseChk NamesOnlyChk SubFoldersChk BrowseBtn MaskTypes "
            "AddMaskBtn GoBtn TreeView1";
        QCOMPARE(Seen(), "2/5 | Done! Total of 3 files examined" + Idle);
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        QVERIFY(Boxes.Beeps >= 1 && Boxes.Texts.empty());
        QCOMPARE(Combo("SearchPath")->currentText(), Folder() + "/");

        Search("other", Folder() + "/");
        WaitForEnd();
        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(true);
        Child<QCheckBox>(Form.get(), "SubFoldersChk")->setChecked(false);
        Combo("SearchStr")->setEditText("NEEDLE");
        Combo("SearchPath")->setEditText(Folder() + "/");
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Seen(), "0 found | Done! Total of 2 files examined" + Idle);
        // A text or folder searched again is listed once, first; the folder got its final "/" once, above
        // the program folder a first start offers.
        QCOMPARE(Items("SearchStr"), QStringList({"NEEDLE", "other"}));
        QCOMPARE(Items("SearchPath"),
                 QStringList({Folder() + "/", QCoreApplication::applicationDirPath() + "/"}));
        QCOMPARE(Combo("SearchPath")->currentText(), Folder() + "/");
    }

    // Only the archive receiving entries takes more; a name met again later gets a node again. A selected
    // entry resolves against the folder part of the text as it is now.
    void MatchTree() {
        Combo("SearchPath")->setEditText("/work/");
        for (const auto& [Archive, Entry] : {std::pair{"", "SETUP.EXE"},
                                             {"/work/A.ZIP", "a.txt"},
                                             {"/work/A.ZIP", "src/b.txt"},
                                             {"/work/Old/B.ZIP", "b.txt"},
                                             {"/work/A.ZIP", "data[2].txt"}})
            Form->ScannerContextFound(Archive, Entry, 0, 0);
        QCOMPARE(testutil::TreeTexts(Tree()),
                 QStringList({"SETUP.EXE", "A.ZIP", "  a.txt", "  src/b.txt", "Old/B.ZIP", "  b.txt", "A.ZIP",
                              "  data[2].txt"}));
        QCOMPARE(Counter(), QString("3/5"));
        // The newest archive's first entry is the current node.
        QCOMPARE(Tree()->currentItem()->text(0), QString("data[2].txt"));
        QSignalSpy Shown(Form.get(), &TForm1::EntrySelected);
        Tree()->setCurrentItem(Tree()->topLevelItem(1)->child(0));
        Tree()->setCurrentItem(Tree()->topLevelItem(1)); // archive node: nothing
        Tree()->setCurrentItem(Tree()->topLevelItem(0)); // plain file: nothing
        Combo("SearchPath")->setEditText("/elsewhere/sub");
        Tree()->setCurrentItem(Tree()->topLevelItem(3)->child(0));
        QCOMPARE(Shown.count(), 2);
        QCOMPARE(Shown.at(0), QVariantList({"/work/A.ZIP", "a.txt"}));
        QCOMPARE(Shown.at(1), QVariantList({"/elsewhere/A.ZIP", "data"}));

        // Go starts a fresh tree; while the worker runs, selections show nothing, also the select-and-clear
        // at the end of the search.
        StartLongSearch();
        QCOMPARE(Counter(), QString("0 found"));
        for (const char* Entry : {"a.txt", "b.txt"})
            Form->ScannerContextFound(Crowd->Path() + "/A.ZIP", Entry, 0, 0);
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        WaitForEnd();
        QCOMPARE(testutil::TreeTexts(Tree()), QStringList({"A.ZIP", "  a.txt", "  b.txt"}));
        QCOMPARE(Shown.count(), 2);
        QVERIFY(Tree()->selectedItems().isEmpty());
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        QCOMPARE(Shown.count(), 3);
    }

    // Stop ends the search; a window destroyed meanwhile waits for its worker.
    void StopOrDestroyDuringSearch() {
        StartLongSearch();
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QVERIFY2(Status().startsWith("Done! Total of ") && !Status().contains(" 300 "), qPrintable(Status()));
        QVERIFY(Combo("SearchStr")->isEnabled());
        StartLongSearch();
        Form.reset();
    }

    void CloseDuringSearch() {
        TBoxAnswers Boxes({idNo, idYes});
        StartLongSearch();
        QVERIFY(!Form->close() && Form->isVisible() && Form->Seeker().Running());
        // Yes: the window goes out of sight at once and is closed (here: deleted) after the worker ended.
        Form->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<TForm1> Window = Form.release();
        QSignalSpy Closed(Window.data(), &TForm1::FormClosed); // the program's message loop ends with it
        Window->close();
        QVERIFY(Window && !Window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(Window.isNull(), 60000);
        QCOMPARE(Closed.count(), 1);
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>(2, "Search in progress. Are you sure you want to Close Tarnlet?"));
    }

    // Two entries share a bare name; only the second holds the text. A drag out of the tree starts past a
    // threshold with one button, carries the archive or the entry, and extracts the entry only when a drop
    // target asks for it.
    void DragOut() {
        TScratchDir D;
        const std::string Zip = testutil::MakeZip(
            D / "a.zip", {{"a/Unit1.pas", "other text\n"}, {"dir/Unit1.pas", "the needle here\n"}}, "-0");
        testutil::StartSearch(Form.get(), "needle", QString::fromStdString(D.Path()), {"All Files (*.*)"});
        WaitForEnd();
        QTreeWidgetItem* Entry = Tree()->topLevelItem(0)->child(0);
        QCOMPARE(Entry->text(0), QString("dir/Unit1.pas"));
        QVERIFY(!Drag(Entry, {9, 9}) && Drag(Entry, {10, 0}) && Drag(Entry, {0, -10}));
        QVERIFY(Drag(Entry, {0, 10}, Qt::RightButton) &&
                !Drag(Entry, {10, 10}, Qt::LeftButton | Qt::RightButton));
        QVERIFY(!Drag(Entry, {10, 10}, Qt::LeftButton, Qt::ShiftModifier) &&
                !Drag(Entry, {10, 10}, Qt::LeftButton, Qt::ControlModifier));
        // Nothing selected, nothing to drag.
        Tree()->clearSelection();
        Source()->Files = {"untouched"};
        Send(QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::NoModifier);
        Tree()->clearSelection();
        Send(QEvent::MouseMove, {40, 40}, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(Source()->Files, QStringList{"untouched"});

        QVERIFY(Drag(Tree()->topLevelItem(0), {0, 15}));
        QCOMPARE(Dropped(), QString::fromStdString(Zip));
        QVERIFY(Drag(Entry, {12, 0}));
        const std::string Temp = JoinPath(PrivateTempFolder(), "Unit1.pas");
        DeleteFile(Temp);
        QCOMPARE(Dropped(), QString::fromStdString(Temp));
        QCOMPARE(testutil::ReadFile(Temp), std::string("the needle here\n"));

        // A damaged entry cancels the drop, leaves no stale copy to drop instead, and says why once the
        // drag is over; so does an archive gone since the search.
        std::string Bytes = testutil::ReadFile(Zip);
        Bytes[Bytes.find("the needle")] = 'T';
        testutil::WriteFile(Zip, Bytes);
        TBoxAnswers Boxes;
        QVERIFY(Drag(Entry, {12, 0}));
        QCOMPARE(Dropped(), QString());
        QVERIFY(!FileExists(Temp));
        QVERIFY(Boxes.Texts.empty());
        QTRY_COMPARE(Boxes.Texts.size(), size_t(1));
        std::remove(Zip.c_str());
        QVERIFY(Drag(Entry, {12, 0}));
        QCOMPARE(Dropped(), QString());
        QTRY_COMPARE(Boxes.Texts.size(), size_t(2));
    }

    // A worker asks through a real Qt message box on the main thread and waits for the answer.
    void WorkerAsksThroughAQtBox() {
        Platform.reset(); // boxes answered by the tests before are Qt boxes again
        Platform = std::make_unique<TQtPlatform>();
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

QTEST_MAIN(SearchRunTest)
#include "SearchRunTest.moc"
