// Searches run through the window over folders made here: the status line, the end of a search, the
// histories, Stop, and closing or destroying the window while its worker runs.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

using testutil::Child;
using testutil::TBoxAnswers;
using testutil::TreeTexts;
using testutil::TScratchDir;

namespace {

const int CrowdSize = 300;

// A zip archive made by the reference tool from (name, content) pairs.
void MakeZip(const std::string& Archive, const std::vector<std::pair<std::string, std::string>>& Entries) {
    TScratchDir Src;
    std::string Names;
    for (const auto& [Name, Data] : Entries) {
        std::filesystem::create_directories(std::filesystem::path(Src / Name).parent_path());
        testutil::WriteFile(Src / Name, Data);
        Names += " " + testutil::Quote(Name);
    }
    std::filesystem::create_directories(std::filesystem::path(Archive).parent_path());
    if (testutil::Run("cd " + testutil::Quote(Src.Path()) + " && zip -q -X " + testutil::Quote(Archive) +
                      Names) != 0)
        qFatal("zip failed");
}

} // namespace

class SearchRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TForm1> Form;
    std::unique_ptr<TScratchDir> Matches; // archives with matching and other entries, a plain file
    std::unique_ptr<TScratchDir> Crowd;   // many small files, so a search lasts

    QLabel* Status() { return Child<QLabel>(Form.get(), "lblCurrent"); }
    QPushButton* Go() { return Child<QPushButton>(Form.get(), "GoBtn"); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }

    void Search(const QString& Text, const QString& Folder) {
        testutil::StartSearch(Form.get(), Text, Folder, {"Text Files (*.txt)"});
    }

    // Starts a search over the crowd and returns once the worker has reported its first file. Every report
    // waits for the main thread, and events are handled here one round at a time, so the walk cannot
    // have got far.
    void StartLongSearch() {
        Search("needle", QString::fromStdString(Crowd->Path()));
        QElapsedTimer Clock;
        Clock.start();
        while (!Status()->text().startsWith("Examining: ") && Clock.elapsed() < 10000)
            QCoreApplication::processEvents();
        QVERIFY(Status()->text().startsWith("Examining: " + QString::fromStdString(Crowd->Path())));
        QVERIFY(Form->Seeker().Running());
    }

    void WaitForEnd() { QVERIFY(testutil::WaitForSearchEnd(Form.get())); }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Matches = std::make_unique<TScratchDir>();
        const TScratchDir& M = *Matches;
        MakeZip(M / "a.zip", {{"one.txt", "hello needle"},
                              {"src/two.txt", "needle at the start"},
                              {"three.c", "needle in a type not ticked"},
                              {"four.txt", "no match"},
                              {"br[1].txt", "more needle"}});
        MakeZip(M / "sub/b.zip", {{"x.txt", "a needle"}});
        testutil::WriteFile(M / "zz.exe", "MZ... needle ...");
        testutil::WriteFile(M / "notes.txt", "needle, but no archive and no program");

        Crowd = std::make_unique<TScratchDir>();
        for (int I = 0; I < CrowdSize; ++I)
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

    void WalkReportsAndEnds() {
        TBoxAnswers Boxes;
        const QString Folder = QString::fromStdString(Matches->Path());
        Search("needle", Folder);
        QCOMPARE(Go()->text(), QString("&Stop"));
        for (const char* Name :
             {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk", "BrowseBtn", "MaskTypes",
              "AddMaskBtn", "SelfExChk", "FindNextBtn", "ViewerBtn", "LaunchBtn"})
            QVERIFY2(!Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        QCOMPARE(Child<QLabel>(Form.get(), "MatchLbl")->text(), QString("0 found"));
        WaitForEnd();

        // a.zip, sub/b.zip and zz.exe; notes.txt is no archive.
        QCOMPARE(Status()->text(), QString("Done! Total of 3 files examined"));
        QCOMPARE(Go()->text(), QString("&Go"));
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        for (const char* Name : {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk",
                                 "BrowseBtn", "MaskTypes", "AddMaskBtn", "GoBtn", "TreeView1"})
            QVERIFY2(Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        for (const char* Name : {"SelfExChk", "FindNextBtn", "ViewerBtn", "LaunchBtn"})
            QVERIFY2(!Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        QVERIFY(Boxes.Beeps >= 1);
        QVERIFY(Boxes.Texts.empty());
        // The folder got its final "/" in the box and in the history.
        QCOMPARE(Combo("SearchPath")->currentText(), Folder + "/");
        QCOMPARE(Combo("SearchPath")->itemText(0), Folder + "/");

        Child<QCheckBox>(Form.get(), "SubFoldersChk")->setChecked(false);
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Status()->text(), QString("Done! Total of 2 files examined"));
    }

    void SearchBuildsTheTree() {
        const QString Folder = QString::fromStdString(Matches->Path());
        Search("NEEDLE", Folder);
        WaitForEnd();
        QCOMPARE(TreeTexts(Child<QTreeWidget>(Form.get(), "TreeView1")),
                 QStringList({"A.ZIP", "  one.txt", "  src/two.txt", "  br[1].txt", "sub/B.ZIP", "  x.txt",
                              "ZZ.EXE"}));
        QCOMPARE(Child<QLabel>(Form.get(), "MatchLbl")->text(), QString("2/5"));
        QCOMPARE(Status()->text(), QString("Done! Total of 3 files examined"));

        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(true);
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Child<QTreeWidget>(Form.get(), "TreeView1")->topLevelItemCount(), 0);
        QCOMPARE(Child<QLabel>(Form.get(), "MatchLbl")->text(), QString("0 found"));
    }

    // A search text the context refuses is reported, and the window stays usable.
    void RefusedSearchText() {
        TBoxAnswers Boxes;
        Search(QString(256, 'x'), QString::fromStdString(Matches->Path()));
        QCOMPARE(Boxes.Texts.size(), size_t(1));
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Go()->text(), QString("&Go"));
        QVERIFY(Combo("SearchStr")->isEnabled());
        QVERIFY(Combo("SearchPath")->isEnabled());
    }

    void HistoriesKeepOneOnTop() {
        const QString Folder = QString::fromStdString(Matches->Path()) + "/";
        for (const char* Text : {"needle", "other", "needle"}) {
            Search(Text, Folder);
            WaitForEnd();
        }
        QCOMPARE(Combo("SearchStr")->count(), 2);
        QCOMPARE(Combo("SearchStr")->itemText(0), QString("needle"));
        QCOMPARE(Combo("SearchStr")->itemText(1), QString("other"));
        QCOMPARE(Combo("SearchStr")->currentText(), QString("needle"));
        // The program folder a first start offers stays below the searched one.
        QCOMPARE(Combo("SearchPath")->count(), 2);
        QCOMPARE(Combo("SearchPath")->itemText(0), Folder);
    }

    void StopEndsTheSearch() {
        StartLongSearch();
        QTest::mouseClick(Go(), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Go()->text(), QString("&Go"));
        const QRegularExpressionMatch M =
            QRegularExpression("^Done! Total of (\\d+) files examined$").match(Status()->text());
        QVERIFY2(M.hasMatch(), qPrintable(Status()->text()));
        QVERIFY(M.captured(1).toInt() < CrowdSize);
        QVERIFY(Combo("SearchStr")->isEnabled());
    }

    void CloseDuringSearch() {
        TBoxAnswers Boxes({idNo, idYes});
        StartLongSearch();
        QVERIFY(!Form->close());
        QVERIFY(Form->isVisible());
        QVERIFY(Form->Seeker().Running());
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"Search in progress. Are you sure you want to Close Tarnlet?"}));

        // Yes: the window goes out of sight at once and is closed (here: deleted) after the worker ended.
        Form->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<TForm1> Window = Form.release();
        QSignalSpy Closed(Window.data(), &TForm1::FormClosed); // the program's message loop ends with it
        Window->close();
        QVERIFY(Window && !Window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(Window.isNull(), 60000);
        QCOMPARE(Closed.count(), 1);
        QCOMPARE(Boxes.Texts.size(), size_t(2));
    }

    void DestroyDuringSearch() {
        StartLongSearch();
        Form.reset();
        QVERIFY(!Form);
    }
};

QTEST_MAIN(SearchRunTest)
#include "SearchRunTest.moc"
