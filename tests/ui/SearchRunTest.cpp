// Searches run through the window over folders made here: the locked inputs, the tree and counter, the status
// line, the histories, Stop, and closing or destroying the window while its worker runs; the match tree as
// matches build it, and how a selected entry turns back into an archive's path and an entry name.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTreeWidget>
#include <memory>

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
    QString Enabled() {
        QString Names;
        for (const char* Name :
             {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk", "BrowseBtn", "MaskTypes",
              "AddMaskBtn", "SelfExChk", "FindNextBtn", "ViewerBtn", "LaunchBtn", "GoBtn", "TreeView1"})
            if (Child<QWidget>(Form.get(), Name)->isEnabled())
                Names += QString(Names.isEmpty() ? "" : " ") + Name;
        return Names;
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
        QCOMPARE(Go()->text(), QString("&Stop"));
        QCOMPARE(Enabled(), QString("GoBtn TreeView1"));
        WaitForEnd();
        QCOMPARE(testutil::TreeTexts(Tree()), QStringList({"A.ZIP", "  one.txt", "  src/two.txt",
                                                           "  br[1].txt", "sub/B.ZIP", "  x.txt", "ZZ.EXE"}));
        QCOMPARE(Counter(), QString("2/5"));
        // a.zip, sub/b.zip and zz.exe; notes.txt is no archive.
        QCOMPARE(Status(), QString("Done! Total of 3 files examined"));
        QCOMPARE(Go()->text(), QString("&Go"));
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        QCOMPARE(Enabled(),
                 QString("SearchStr SearchPath CaseChk NamesOnlyChk SubFoldersChk BrowseBtn MaskTypes "
                         "AddMaskBtn GoBtn TreeView1"));
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
        QCOMPARE(Counter(), QString("0 found"));
        QCOMPARE(Status(), QString("Done! Total of 2 files examined"));
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
        const std::string Archive = Crowd->Path() + "/A.ZIP";
        Form->ScannerContextFound(Archive, "a.txt", 0, 0);
        Form->ScannerContextFound(Archive, "b.txt", 0, 0);
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        WaitForEnd();
        QCOMPARE(testutil::TreeTexts(Tree()), QStringList({"A.ZIP", "  a.txt", "  b.txt"}));
        QCOMPARE(Shown.count(), 2);
        QVERIFY(Tree()->selectedItems().isEmpty());
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        QCOMPARE(Shown.count(), 3);
    }

    void StopEndsTheSearch() {
        StartLongSearch();
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        const QRegularExpressionMatch M =
            QRegularExpression("^Done! Total of (\\d+) files examined$").match(Status());
        QVERIFY2(M.hasMatch() && M.captured(1).toInt() < 300, qPrintable(Status()));
        QVERIFY(Combo("SearchStr")->isEnabled());
    }

    void CloseDuringSearch() {
        TBoxAnswers Boxes({idNo, idYes});
        StartLongSearch();
        QVERIFY(!Form->close());
        QVERIFY(Form->isVisible() && Form->Seeker().Running());
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

    void DestroyDuringSearch() {
        StartLongSearch();
        Form.reset();
    }
};

QTEST_MAIN(SearchRunTest)
#include "SearchRunTest.moc"
