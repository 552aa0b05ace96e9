// What a new user meets in a search: a folder that is not there, names-only mode on files that are not
// archives, plain files of one name in two folders, the file-type buttons, Return, long names, a search
// thread the system refuses, and the same search giving the same result every time.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/NewMaskU.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QToolTip>
#include <pthread.h>
#include <sys/stat.h>

using testutil::Child;
using testutil::TBoxAnswers;
using testutil::TreeTexts;
using testutil::TScratchDir;

class NewUserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TForm1> Form;
    std::unique_ptr<TScratchDir> Dir;

    QString Folder() const { return QString::fromStdString(Dir->Path()); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
    QLabel* Status() { return Child<QLabel>(Form.get(), "lblCurrent"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QStringList SearchTree(const QString& Text, bool NamesOnly = false) {
        Child<QCheckBox>(Form.get(), "NamesOnlyChk")->setChecked(NamesOnly);
        testutil::StartSearch(Form.get(), Text, Folder(), {"Text Files (*.txt)"});
        if (!testutil::WaitForSearchEnd(Form.get()))
            return {"(no end)"};
        return TreeTexts(Tree());
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Dir = std::make_unique<TScratchDir>();
        const TScratchDir& D = *Dir;
        std::filesystem::create_directories(D / "data/broken");
        testutil::WriteFile(D / "in.txt", "the needle is inside");
        QCOMPARE(testutil::Run("cd " + testutil::Quote(D.Path()) + " && zip -q -X a.zip in.txt && rm in.txt"),
                 0);
        // Two damaged archives of one name, and a program, each holding the text as bytes.
        testutil::WriteFile(D / "data/x.zip", "PK no archive, a needle");
        testutil::WriteFile(D / "data/broken/x.zip", "PK no archive either, a needle");
        testutil::WriteFile(D / "needle-notes.exe", "MZ nothing to find inside");
        // Neither may block or end the search.
        QCOMPARE(::mkfifo((D / "pipe.zip").c_str(), 0600), 0);
    }
    void cleanupTestCase() {
        Dir.reset();
        Platform.reset();
    }
    void init() {
        Form = testutil::ShowForm();
        QVERIFY(Form);
    }
    void cleanup() { Form.reset(); }

    void PlainFilesAreNamedByTheirPath() {
        TBoxAnswers Boxes;
        QCOMPARE(SearchTree("needle"), QStringList({"A.ZIP", "  in.txt", "data/broken/X.ZIP", "data/X.ZIP"}));
    }

    void NamesOnlyNeverOpensAFile() {
        TBoxAnswers Boxes;
        // Only a name holds the text: a file holding it in its bytes is not listed.
        QCOMPARE(SearchTree("needle", true), QStringList({"NEEDLE-NOTES.EXE"}));
        QCOMPARE(SearchTree("x.zip", true), QStringList({"data/broken/X.ZIP", "data/X.ZIP"}));
    }

    void MissingFolderSearchesNothing() {
        TBoxAnswers Boxes;
        for (const QString& Missing : {Folder() + "/nowhere", Folder() + "/a.zip"}) {
            Boxes.Texts.clear();
            testutil::StartSearch(Form.get(), "needle", Missing, {"Text Files (*.txt)"});
            QVERIFY(!Form->Seeker().Running());
            QCOMPARE(Boxes.Texts.size(), size_t(1));
            QVERIFY2(QString::fromStdString(Boxes.Texts[0]).contains("does not exist"),
                     Boxes.Texts[0].c_str());
            QCOMPARE(Status()->text(), QString());
            QCOMPARE(Button("GoBtn")->text(), QString("&Go"));
            QVERIFY(Child<QComboBox>(Form.get(), "SearchPath")->isEnabled());
        }
    }

    void NoTypeTickedLeavesTheStatusIdle() {
        TBoxAnswers Boxes;
        testutil::StartSearch(Form.get(), "needle", Folder(), {});
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"You must enable (check) at least one file type to examine."}));
        QCOMPARE(Status()->text(), QString());
    }

    void ReturnStartsTheSearch() {
        TBoxAnswers Boxes;
        auto* Text = Child<QComboBox>(Form.get(), "SearchStr");
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText(Folder());
        Masks()->item(Masks()->count() - 1)->setCheckState(Qt::Checked);
        Text->setEditText("needle");
        QTest::keyClick(Text->lineEdit(), Qt::Key_Return);
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QVERIFY(Status()->text().startsWith("Done!"));
        QCOMPARE(Text->count(), 1); // Return adds nothing to the history beyond what Go adds
    }

    void RemoveButtonFollowsTheCurrentType() {
        TBoxAnswers Boxes({idYes});
        QPushButton* Remove = Button("DelMaskBtn");
        Masks()->setCurrentItem(nullptr);
        QVERIFY(!Remove->isEnabled());
        // Ticking a type's box makes it the one "-" acts on.
        Masks()->setCurrentItem(Masks()->item(0));
        QListWidgetItem* C = Masks()->findItems("C Files (*.c)", Qt::MatchExactly).value(0);
        QVERIFY(C);
        Masks()->scrollToItem(C);
        const QRect Box = Masks()->visualItemRect(C);
        QTest::mouseClick(Masks()->viewport(), Qt::LeftButton, {}, QPoint(Box.left() + 8, Box.center().y()));
        QCOMPARE(Masks()->currentItem(), C);
        QVERIFY(Remove->isEnabled());
        // A search locks the list: "-" with it.
        testutil::StartSearch(Form.get(), "needle", Folder(), {"Text Files (*.txt)"});
        QVERIFY(!Remove->isEnabled());
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QVERIFY(Remove->isEnabled());
        QTest::mouseClick(Remove, Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>({"Permanently Delete \"C Files (*.c)\""}));
    }

    void NewTypeDialogTakesLongExtensions() {
        TNewMaskDlg Dlg(Form.get());
        Dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dlg));
        for (QWidget* W : Dlg.findChildren<QWidget*>()) {
            if (auto* Check = qobject_cast<QCheckBox*>(W))
                QVERIFY2(Check->width() >= Check->sizeHint().width(), "check box text cut off");
            if (auto* Label = qobject_cast<QLabel*>(W))
                QVERIFY2(Label->width() >= Label->sizeHint().width(), qPrintable(Label->text()));
        }
        Child<QLineEdit>(&Dlg, "Edit1")->setText("Logs");
        for (const auto& [Typed, Item] :
             {std::pair{"*.log", "Logs (*.log)"}, std::pair{".json", "Logs (*.json)"},
              std::pair{"yaml", "Logs (*.yaml)"}}) {
            Child<QLineEdit>(&Dlg, "Edit2")->setText(Typed);
            QCOMPARE(Dlg.MaskText(), QString(Item));
        }
    }

    void ProgressStartsEmpty() {
        auto* Bar = Child<QProgressBar>(Form.get(), "Progress");
        // Before an archive with entries is opened there is nothing to count: 0..0 would draw a busy bar.
        Form->ScannerFileFound("a.txt", "/", 0, 0, 0, 0);
        Form->ScannerProcess(0, 0, 0, 0, "/", 0, 0);
        QVERIFY(Bar->maximum() > Bar->minimum());
        QCOMPARE(Bar->value(), 0);
    }

    void LongNamesScrollAndShowWhole() {
        const QString Long = "folder/" + QString(120, 'N') + ".ZIP";
        Form->ScannerContextFound(Long.toStdString(), "entry.txt", 0, 0);
        QTreeWidgetItem* Node = Tree()->topLevelItem(0);
        QVERIFY(Node);
        QCOMPARE(Tree()->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        QHelpEvent Help(QEvent::ToolTip, Tree()->visualItemRect(Node).center(),
                        Tree()->viewport()->mapToGlobal(Tree()->visualItemRect(Node).center()));
        QApplication::sendEvent(Tree()->viewport(), &Help);
        QTRY_COMPARE(QToolTip::text(), Node->text(0));
    }

    void RefusedThreadLeavesTheSeekerIdle() {
        TBoxAnswers Boxes;
        // A default stack no system can give makes the next thread creation fail.
        pthread_attr_t Old, Huge;
        QCOMPARE(pthread_getattr_default_np(&Old), 0);
        pthread_attr_init(&Huge);
        pthread_attr_setstacksize(&Huge, size_t(1) << 46);
        QCOMPARE(pthread_setattr_default_np(&Huge), 0);
        testutil::StartSearch(Form.get(), "needle", Folder(), {"Text Files (*.txt)"});
        QCOMPARE(pthread_setattr_default_np(&Old), 0);
        pthread_attr_destroy(&Huge);
        pthread_attr_destroy(&Old);

        QCOMPARE(Boxes.Texts.size(), size_t(1));
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Button("GoBtn")->text(), QString("&Go"));
        // The context is free again: the next search runs, and closing asks nothing.
        QCOMPARE(SearchTree("needle").size(), 4);
        QVERIFY(Form->close());
        QCOMPARE(Boxes.Texts.size(), size_t(1));
    }

    // Program files have no extension on Linux: the caption keeps the whole program name.
    void CaptionNamesTheProgram() {
        QCOMPARE(Form->windowTitle(),
                 QCoreApplication::applicationName() +
                     " Locates files within Archives which contain a specific string of text.");
    }

    // Two searches at once from one program folder used to share one temporary file and lose entries;
    // every run must agree, also with a console search of the same folder beside it.
    void SameSearchSameResult() {
        TBoxAnswers Boxes;
        const QStringList First = SearchTree("needle");
        const QString Peer = QCoreApplication::applicationDirPath() + "/peer-cli";
        QFile::remove(Peer);
        QVERIFY(QFile::copy(QString::fromStdString(testutil::BinDir() + "/tarnlet-cli"), Peer));
        for (int I = 0; I < 200; ++I) {
            QProcess Console;
            Console.start(Peer, {"search", "needle", Folder()});
            QCOMPARE(SearchTree("needle"), First);
            QVERIFY(Console.state() == QProcess::NotRunning || Console.waitForFinished());
            QCOMPARE(Console.exitCode(), 0);
        }
        QFile::remove(Peer);
    }
};

QTEST_MAIN(NewUserTest)
#include "NewUserTest.moc"
