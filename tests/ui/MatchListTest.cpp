// The match tree as the seeker's matches build it: node texts, the counter, where entries go, and how a
// selected entry turns back into an archive's path and an entry name.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTreeWidget>
#include <memory>

using testutil::Child;
using testutil::TreeTexts;

class MatchListTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<testutil::TBoxAnswers> Boxes;
    std::unique_ptr<TForm1> Form;

    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QString Counter() { return Child<QLabel>(Form.get(), "MatchLbl")->text(); }
    void Match(const std::string& Archive, const std::string& Entry) {
        Form->ScannerContextFound(Archive, Entry, 0, 0);
    }

    // A real search over Folder; returns with the worker waiting on its first report.
    void StartSearch(const std::string& Folder) {
        testutil::StartSearch(Form.get(), "needle", QString::fromStdString(Folder), {"All Files (*.*)"});
        QVERIFY(Form->Seeker().Running());
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Boxes = std::make_unique<testutil::TBoxAnswers>();
    }
    void cleanupTestCase() {
        Boxes.reset();
        Platform.reset();
    }
    void init() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText("/work/");
    }
    void cleanup() { Form.reset(); }

    // Only the archive receiving entries takes more; a name met again later gets a node again, and plain
    // files of one name stay apart.
    void NodesFollowTheWalk() {
        Match("", "SETUP.EXE");
        Match("/work/A.ZIP", "a.txt");
        Match("/work/A.ZIP", "src/b.txt");
        QCOMPARE(Counter(), QString("1/3"));
        Match("/work/Old/B.ZIP", "b.txt");
        Match("/work/A.ZIP", "c.txt");
        Match("", "README.EXE");
        Match("", "README.EXE");
        QCOMPARE(TreeTexts(Tree()), QStringList({"SETUP.EXE", "A.ZIP", "  a.txt", "  src/b.txt", "Old/B.ZIP",
                                                 "  b.txt", "A.ZIP", "  c.txt", "README.EXE", "README.EXE"}));
        QCOMPARE(Counter(), QString("3/7"));
        // The newest archive's first entry is the current node.
        QCOMPARE(Tree()->currentItem()->text(0), QString("c.txt"));
    }

    void SelectedEntryResolves() {
        Match("/work/Old/SOURCES.ZIP", "src/unit1.pas");
        Match("/work/Old/SOURCES.ZIP", "data[2].txt");
        Match("", "SETUP.EXE");
        QSignalSpy Shown(Form.get(), &TForm1::EntrySelected);
        QTreeWidget* T = Tree();
        T->setCurrentItem(T->topLevelItem(0)->child(1));
        T->setCurrentItem(T->topLevelItem(0)); // archive node: nothing
        T->setCurrentItem(T->topLevelItem(1)); // plain file: nothing
        // Resolved against the folder part of the text as it is now.
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText("/elsewhere/sub");
        T->setCurrentItem(T->topLevelItem(0)->child(0));
        QCOMPARE(Shown.count(), 2);
        QCOMPARE(Shown.at(0), QVariantList({"/work/Old/SOURCES.ZIP", "data"}));
        QCOMPARE(Shown.at(1), QVariantList({"/elsewhere/Old/SOURCES.ZIP", "src/unit1.pas"}));
    }

    // Go starts a fresh tree; while the worker runs, selections show nothing, also the select-and-clear at
    // the end of the search.
    void DuringASearch() {
        testutil::TScratchDir Folder;
        for (int I = 0; I < 50; ++I)
            testutil::WriteFile(Folder / ("f" + std::to_string(I) + ".zip"), "x");
        Match(Folder.Path() + "/A.ZIP", "old.txt");
        QSignalSpy Shown(Form.get(), &TForm1::EntrySelected);
        StartSearch(Folder.Path());
        QCOMPARE(Counter(), QString("0 found"));
        Match(Folder.Path() + "/A.ZIP", "a.txt");
        Match(Folder.Path() + "/A.ZIP", "b.txt");
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QCOMPARE(TreeTexts(Tree()), QStringList({"A.ZIP", "  a.txt", "  b.txt"}));
        QCOMPARE(Shown.count(), 0);
        QVERIFY(Tree()->selectedItems().isEmpty());
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        QCOMPARE(Shown.count(), 1);
    }
};

QTEST_MAIN(MatchListTest)
#include "MatchListTest.moc"
