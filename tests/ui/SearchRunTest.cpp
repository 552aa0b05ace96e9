// Searches run through the window over folders made here: the locked inputs, the tree and counter, the status
// line, the histories, Stop, a refused text, and closing or destroying the window while its worker runs.

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
        QCOMPARE(testutil::TreeTexts(Child<QTreeWidget>(Form.get(), "TreeView1")),
                 QStringList({"A.ZIP", "  one.txt", "  src/two.txt", "  br[1].txt", "sub/B.ZIP", "  x.txt",
                              "ZZ.EXE"}));
        QCOMPARE(Counter(), QString("2/5"));
        // a.zip, sub/b.zip and zz.exe; notes.txt is no archive.
        QCOMPARE(Status(), QString("Done! Total of 3 files examined"));
        QCOMPARE(Go()->text(), QString("&Go"));
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        QCOMPARE(Enabled(),
                 QString("SearchStr SearchPath CaseChk NamesOnlyChk SubFoldersChk BrowseBtn MaskTypes "
                         "AddMaskBtn GoBtn TreeView1"));
        QVERIFY(Boxes.Beeps >= 1 && Boxes.Texts.empty());
        // The folder got its final "/" in the box and in the history.
        QCOMPARE(Combo("SearchPath")->currentText(), Folder() + "/");
        QCOMPARE(Combo("SearchPath")->itemText(0), Folder() + "/");

        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(true);
        Child<QCheckBox>(Form.get(), "SubFoldersChk")->setChecked(false);
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Counter(), QString("0 found"));
        QCOMPARE(Status(), QString("Done! Total of 2 files examined"));
    }

    void HistoriesAndARefusedText() {
        for (const char* Text : {"needle", "other", "needle"}) {
            Search(Text, Folder() + "/");
            WaitForEnd();
        }
        QCOMPARE(Combo("SearchStr")->count(), 2);
        QCOMPARE(Combo("SearchStr")->itemText(0) + Combo("SearchStr")->itemText(1), QString("needleother"));
        QCOMPARE(Combo("SearchStr")->currentText(), QString("needle"));
        // The folder searched three times is listed once, above the program folder a first start offers.
        QCOMPARE(Combo("SearchPath")->count(), 2);
        QCOMPARE(Combo("SearchPath")->itemText(0), Folder() + "/");
        // A search text the context refuses is reported, and the window stays usable.
        TBoxAnswers Boxes;
        Search(QString(256, 'x'), Folder());
        QCOMPARE(Boxes.Texts.size(), size_t(1));
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Go()->text(), QString("&Go"));
        QVERIFY(Combo("SearchStr")->isEnabled());
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
