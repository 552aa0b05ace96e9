// The main window as a new user meets it: its frame, the Go button, the file-type list and its dialog, the
// checks made before a search starts, and searches over a folder of plain files, damaged archives, a pipe
// and a program, which give the same result every time.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QToolTip>
#include <pthread.h>
#include <sys/stat.h>

using testutil::Child;
using testutil::OnNextModal;
using testutil::TBoxAnswers;
using testutil::TScratchDir;

class FormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TForm1> Form;
    std::unique_ptr<TScratchDir> Dir;

    QString Folder() const { return QString::fromStdString(Dir->Path()); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
    QString Status() { return Child<QLabel>(Form.get(), "lblCurrent")->text(); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }
    void Search(const QString& Text, const QString& Where,
                const QStringList& Types = {"Text Files (*.txt)"}) {
        testutil::StartSearch(Form.get(), Text, Where, Types);
    }
    QStringList SearchTree(const QString& Text, bool NamesOnly = false) {
        Child<QCheckBox>(Form.get(), "NamesOnlyChk")->setChecked(NamesOnly);
        Search(Text, Folder());
        if (!testutil::WaitForSearchEnd(Form.get()))
            return {"(no end)"};
        return testutil::TreeTexts(Tree());
    }
    // The types, "+" before the ticked ones.
    QString Types() {
        QStringList Texts;
        for (int I = 0; I < Masks()->count(); ++I)
            Texts << (Masks()->item(I)->checkState() == Qt::Checked ? "+" : "") + Masks()->item(I)->text();
        return Texts.join(", ");
    }
    // Adds a type through "+" and the dialog; Ok false cancels it instead.
    void AddType(const QString& Description, const QString& Extension, bool Enable, bool Ok = true) {
        OnNextModal([=](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), Description);
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), Extension);
            Child<QCheckBox>(Dlg, "CheckChk")->setChecked(Enable);
            QTest::mouseClick(Child<QPushButton>(Dlg, Ok ? "OKBtn" : "BitBtn2"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Dir = std::make_unique<TScratchDir>();
        const TScratchDir& D = *Dir;
        testutil::MakeZip(D / "a.zip", {{"in.txt", "the needle is inside"}}, "-X");
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

    void AtRest() {
        // Program files have no extension on Linux: the caption keeps the whole program name.
        QCOMPARE(Form->windowTitle(),
                 QFileInfo(QCoreApplication::applicationFilePath()).fileName() +
                     " Locates files within Archives which contain a specific string of text.");
        QCOMPARE(Form->size(), QSize(639, 460));
        QCOMPARE(Form->minimumSize(), Form->maximumSize());
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Go needs both texts.
        QPushButton* Go = Button("GoBtn");
        Combo("SearchPath")->setEditText("");
        QTest::keyClicks(Combo("SearchStr"), "needle");
        QVERIFY(!Go->isEnabled());
        QTest::keyClicks(Combo("SearchPath"), "/tmp");
        QVERIFY(Go->isEnabled());
        Combo("SearchStr")->setEditText("");
        QVERIFY(!Go->isEnabled());

        // Before an archive with entries is opened there is nothing to count: 0..0 would draw a busy bar.
        auto* Bar = Child<QProgressBar>(Form.get(), "Progress");
        Form->ScannerFileFound("a.txt", "/", 0, 0, 0, 0);
        Form->ScannerProcess(0, 0, 0, 0, "/", 0, 0);
        QVERIFY(Bar->maximum() > Bar->minimum());
        QCOMPARE(Bar->value(), 0);

        // Long names scroll sideways and show whole as a tool tip.
        Form->ScannerContextFound("folder/" + std::string(120, 'N') + ".ZIP", "entry.txt", 0, 0);
        QTreeWidgetItem* Node = Tree()->topLevelItem(0);
        QCOMPARE(Tree()->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        const QPoint At = Tree()->visualItemRect(Node).center();
        QHelpEvent Help(QEvent::ToolTip, At, Tree()->viewport()->mapToGlobal(At));
        QApplication::sendEvent(Tree()->viewport(), &Help);
        QTRY_COMPARE(QToolTip::text(), Node->text(0));
    }

    void FileTypes() {
        // "All Files" ticks every type; unticking it, or ticking another, changes nothing else.
        Masks()->item(0)->setCheckState(Qt::Checked);
        Masks()->item(0)->setCheckState(Qt::Unchecked);
        Masks()->item(1)->setCheckState(Qt::Unchecked);
        Masks()->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(Types(),
                 QString("All Files (*.*), +Pascal Files (*.pas), +Delphi Forms (*.dfm), +C Files (*.c), "
                         "+Text Files (*.txt), +HTML Files (*.htm)"));
        for (int I = 0; I < Masks()->count(); ++I)
            Masks()->item(I)->setCheckState(Qt::Unchecked);

        AddType("ZIP Files", "zip", true);
        QCOMPARE(Masks()->currentItem()->text(), QString("ZIP Files (*.zip)"));
        // A duplicate apart from letter case is refused; Cancel adds nothing; an unticked type comes
        // unticked; "*.x" and ".x" mean "x".
        AddType("c files", "C", true);
        AddType("Doc Files", "doc", true, false);
        AddType("", ".md", false);
        // OK without an extension keeps the dialog open. Its captions are not cut by a wider font.
        bool StayedOpen = false;
        OnNextModal([&](QWidget* Dlg) {
            for (QWidget* W : Dlg->findChildren<QWidget*>())
                if (qobject_cast<QCheckBox*>(W) || qobject_cast<QLabel*>(W))
                    QVERIFY2(W->width() >= W->sizeHint().width(), W->metaObject()->className());
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), "Long");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
            StayedOpen = Dlg->isVisible();
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), "*.json");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
        QVERIFY(StayedOpen);

        // "-" acts on the current type; pressing a type's check box makes it current.
        TBoxAnswers Boxes({idOK, idNo, idYes});
        QPushButton* Del = Button("DelMaskBtn");
        Masks()->setCurrentItem(nullptr);
        QVERIFY(!Del->isEnabled());
        QTest::mouseClick(Masks()->viewport(), Qt::LeftButton, {},
                          Masks()->visualItemRect(Masks()->item(0)).center());
        QVERIFY(Del->isEnabled());
        QTest::mouseClick(Del, Qt::LeftButton); // "All Files" stays
        const QRect Box = Masks()->visualItemRect(Masks()->item(3));
        QTest::mouseClick(Masks()->viewport(), Qt::LeftButton, {}, QPoint(Box.left() + 8, Box.center().y()));
        QCOMPARE(Masks()->currentItem(), Masks()->item(3));
        // A search locks the list, "-" with it.
        Combo("SearchStr")->setEditText("needle");
        Combo("SearchPath")->setEditText(Folder());
        QTest::mouseClick(Button("GoBtn"), Qt::LeftButton);
        QVERIFY(!Del->isEnabled());
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QVERIFY(Del->isEnabled());
        QTest::mouseClick(Del, Qt::LeftButton); // answered No
        QTest::mouseClick(Del, Qt::LeftButton); // answered Yes
        // Nothing is current after a deletion, so "-" does nothing.
        QTest::mouseClick(Del, Qt::LeftButton);
        QCOMPARE(Types(),
                 QString("All Files (*.*), Pascal Files (*.pas), Delphi Forms (*.dfm), Text Files (*.txt), "
                         "HTML Files (*.htm), +ZIP Files (*.zip),  (*.md), Long (*.json)"));
        QCOMPARE(Boxes.Texts, std::vector<std::string>({"This File Mask can not be removed.",
                                                        "Permanently Delete \"C Files (*.c)\"",
                                                        "Permanently Delete \"C Files (*.c)\""}));
    }

    // Searches that cannot start say why and leave the window as it was.
    void NothingToSearch() {
        TBoxAnswers Boxes;
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        const int Paths = Combo("SearchPath")->count();
        // A ticked type whose text holds no "(...)" gives no mask.
        Masks()->item(2)->setText("No mask here");
        Search("needle", "/tmp", {"No mask here"});
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"You must enable (check) at least one file type to examine."}));
        QCOMPARE(QApplication::focusWidget(), Masks());
        for (const QString& Missing : {Folder() + "/nowhere", Folder() + "/a.zip"}) {
            Search("needle", Missing);
            QVERIFY2(QString::fromStdString(Boxes.Texts.back()).contains("does not exist"),
                     Boxes.Texts.back().c_str());
        }
        QCOMPARE(Boxes.Texts.size(), size_t(3));
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Status(), QString());
        QCOMPARE(Button("GoBtn")->text(), QString("&Go"));
        for (const char* Name : {"SearchStr", "SearchPath", "CaseChk", "MaskTypes", "GoBtn", "TreeView1"})
            QVERIFY2(Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        QCOMPARE(Combo("SearchPath")->count(), Paths);
    }

    // Plain files are named by their path; names-only never opens a file: one holding the text in its
    // bytes is not listed.
    void SearchesOfANewUser() {
        TBoxAnswers Boxes;
        // Return starts the search Go would, and adds nothing more to the history.
        auto* Text = Combo("SearchStr");
        Combo("SearchPath")->setEditText(Folder());
        Masks()->item(Masks()->count() - 1)->setCheckState(Qt::Checked);
        Text->setEditText("needle");
        QTest::keyClick(Text->lineEdit(), Qt::Key_Return);
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QVERIFY(Status().startsWith("Done!"));
        QCOMPARE(Text->count(), 1);
        QCOMPARE(SearchTree("needle"), QStringList({"A.ZIP", "  in.txt", "data/broken/X.ZIP", "data/X.ZIP"}));
        QCOMPARE(SearchTree("needle", true), QStringList({"NEEDLE-NOTES.EXE"}));
        QCOMPARE(SearchTree("x.zip", true), QStringList({"data/broken/X.ZIP", "data/X.ZIP"}));
    }

    void RefusedThreadLeavesTheSeekerIdle() {
        TBoxAnswers Boxes;
        // A default stack no system can give makes the next thread creation fail.
        pthread_attr_t Old, Huge;
        QCOMPARE(pthread_getattr_default_np(&Old), 0);
        pthread_attr_init(&Huge);
        pthread_attr_setstacksize(&Huge, size_t(1) << 46);
        QCOMPARE(pthread_setattr_default_np(&Huge), 0);
        Search("needle", Folder());
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

QTEST_MAIN(FormTest)
#include "FormTest.moc"
