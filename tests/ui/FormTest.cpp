// The main window as a new user meets it: its frame, the file-type list and its dialog, the checks made
// before a search starts, searches over a folder of plain files, damaged archives, a pipe and a program
// (the same result every time), what it keeps between runs, the Browse button and the help window.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/Application.h"
#include "ui/QtPlatform.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBrowser>
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
    const std::string Ini = testutil::SettingsFile();
    const QString Home = QCoreApplication::applicationDirPath() + "/";

    // A window started over the settings file as it stands, or as on a first run.
    void Start(bool Keep = true) {
        Form = testutil::ShowForm(Keep);
        QVERIFY(Form);
    }
    QString Folder() const { return QString::fromStdString(Dir->Path()); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
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
    // Everything the window saves, as a user sees it: the search history and text, the folder history
    // and folder, the types, the four check boxes.
    QStringList State() {
        QStringList S;
        for (const char* Name : {"SearchStr", "SearchPath"}) {
            QStringList Items;
            for (int I = 0; I < Combo(Name)->count(); ++I)
                Items << Combo(Name)->itemText(I);
            S << Items.join(',') << Combo(Name)->currentText();
        }
        QString Ticks;
        for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
            Ticks += Child<QCheckBox>(Form.get(), Name)->isChecked() ? '1' : '0';
        return S << Types() << Ticks;
    }
    // Adds a type through "+" and the dialog.
    void AddType(const QString& Description, const QString& Extension, bool Enable) {
        OnNextModal([=](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), Description);
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), Extension);
            Child<QCheckBox>(Dlg, "CheckChk")->setChecked(Enable);
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
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
    void init() { Start(false); }
    void cleanup() {
        Form.reset();
        std::remove(Ini.c_str());
        rmdir(Ini.c_str());
    }

    void AtRest() {
        QCOMPARE(Form->minimumSize(), Form->maximumSize());
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
        // "Include self-extracting EXE archives" cannot be ticked by the user: it keeps its design state.
        QCOMPARE(State(), (QStringList{"", "", Home, Home,
                                       "All Files (*.*), Pascal Files (*.pas), Delphi Forms (*.dfm), C Files "
                                       "(*.c), Text Files (*.txt), HTML Files (*.htm)",
                                       "0001"}));
        QCOMPARE(QDir::currentPath() + "/", Home);

        // Before an archive with entries is opened there is nothing to count: 0..0 would draw a busy bar.
        auto* Bar = Child<QProgressBar>(Form.get(), "Progress");
        Form->ScannerFileFound("a.txt", "/", 0, 0, 0, 0);
        Form->ScannerProcess(0, 0, 0, 0, "/", 0, 0);
        QVERIFY(Bar->maximum() > Bar->minimum() && Bar->value() == 0);

        // Long names show whole as a tool tip.
        Form->ScannerContextFound("folder/" + std::string(120, 'N') + ".ZIP", "entry.txt", 0, 0);
        const QPoint At = Tree()->visualItemRect(Tree()->topLevelItem(0)).center();
        QHelpEvent Help(QEvent::ToolTip, At, Tree()->viewport()->mapToGlobal(At));
        QApplication::sendEvent(Tree()->viewport(), &Help);
        QTRY_COMPARE(QToolTip::text(), "folder/" + QString(120, 'N') + ".ZIP");
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

        AddType("ZIP Files", "zip", true);
        // A duplicate apart from letter case is refused; an unticked type comes unticked; "*.x" and ".x"
        // mean "x".
        AddType("c files", "C", true);
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
        QCOMPARE(
            Types(),
            QString("All Files (*.*), +Pascal Files (*.pas), +Delphi Forms (*.dfm), +Text Files (*.txt), "
                    "+HTML Files (*.htm), +ZIP Files (*.zip),  (*.md), Long (*.json)"));
        QCOMPARE(Boxes.Texts, std::vector<std::string>({"This File Mask can not be removed.",
                                                        "Permanently Delete \"C Files (*.c)\"",
                                                        "Permanently Delete \"C Files (*.c)\""}));
    }

    // Searches that cannot start say why and leave the window as it was: no type with a mask, a missing
    // folder, a search thread the system refuses. The next search runs, and closing asks nothing.
    void NothingToSearch() {
        TBoxAnswers Boxes;
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
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
        QCOMPARE(Combo("SearchPath")->count(), 1);
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

        QCOMPARE(Boxes.Texts.size(), size_t(4));
        QVERIFY(!Form->Seeker().Running());
        QCOMPARE(Child<QLabel>(Form.get(), "lblCurrent")->text(), QString());
        QCOMPARE(Button("GoBtn")->text(), QString("&Go"));
        for (const char* Name : {"SearchStr", "SearchPath", "CaseChk", "MaskTypes", "GoBtn", "TreeView1"})
            QVERIFY2(Child<QWidget>(Form.get(), Name)->isEnabled(), Name);
        QCOMPARE(SearchTree("needle").size(), 4);
        QVERIFY(Form->close());
        QCOMPARE(Boxes.Texts.size(), size_t(4));
    }

    // Plain files are named by their path; names-only never opens a file: one holding the text in its
    // bytes is not listed. Two searches at once from one program folder used to share one temporary file
    // and lose entries: every run must agree, also with a console search of the same folder beside it.
    void SearchesOfANewUser() {
        TBoxAnswers Boxes;
        QCOMPARE(SearchTree("needle", true), QStringList({"NEEDLE-NOTES.EXE"}));
        QCOMPARE(SearchTree("x.zip", true), QStringList({"data/broken/X.ZIP", "data/X.ZIP"}));
        // Return starts the search Go would, and adds nothing more to the history.
        Combo("SearchStr")->setEditText("inside");
        QTest::keyClick(Combo("SearchStr")->lineEdit(), Qt::Key_Return);
        QVERIFY(testutil::WaitForSearchEnd(Form.get()));
        QCOMPARE(Combo("SearchStr")->count(), 3);
        const QString Peer = Home + "peer-cli";
        QFile::remove(Peer);
        QVERIFY(QFile::copy(QString::fromStdString(testutil::BinDir() + "/tarnlet-cli"), Peer));
        for (int I = 0; I < 200; ++I) {
            QProcess Console;
            Console.start(Peer, {"search", "needle", Folder()});
            QCOMPARE(SearchTree("needle"),
                     QStringList({"A.ZIP", "  in.txt", "data/broken/X.ZIP", "data/X.ZIP"}));
            QVERIFY(Console.state() == QProcess::NotRunning || Console.waitForFinished());
            QCOMPARE(Console.exitCode(), 0);
        }
        QFile::remove(Peer);
    }

    // A hand-written file read (types match the list whatever their case), changed, saved on close and
    // shown by the next window; histories keep 17 entries, what the window does not use goes back
    // unchanged.
    void SettingsRoundTrip() {
        TScratchDir Last;
        Form.reset();
        testutil::WriteFile(
            Ini, "[searchstr]\na=first\n[SearchPath]\nx=/one/\n[MaskTypes]\npascal files (*.PAS)=1\n"
                 "ZIP Files (*.zip)=1\n[ExtractPath]\nss0=/out/one/\n[Options]\nCaseChk=1\n"
                 "SelfExChk=0\nLastExtractPath=/out/two/\nLastPath=" +
                     Last.Path() + "\n");
        Start();
        const QString Where = QString::fromStdString(Last.Path());
        QCOMPARE(State(),
                 (QStringList{"first", "", "/one/", Where,
                              "All Files (*.*), +Pascal Files (*.pas), Delphi Forms (*.dfm), C Files (*.c), "
                              "Text Files (*.txt), HTML Files (*.htm), +ZIP Files (*.zip)",
                              "1000"}));
        QCOMPARE(QDir::currentPath(), Where);

        for (int I = 0; I < 20; ++I)
            Combo("SearchStr")->addItem(QString(" text %1 ").arg(I));
        Combo("SearchPath")->setEditText("/typed/");
        Masks()->item(3)->setCheckState(Qt::Checked);
        for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
            Child<QCheckBox>(Form.get(), Name)->toggle();
        QStringList Before = State();
        Before[0] = Before[0].section(',', 0, 16);
        Before[3] = Home; // "/typed/" does not exist: the next start shows the program folder
        Form->close();

        const TIniFile Saved(Ini);
        QCOMPARE(Saved.ReadString("Options", "LastPath", ""), std::string("/typed/"));
        QCOMPARE(Saved.ReadString("ExtractPath", "ss0", ""), std::string("/out/one/"));
        QCOMPARE(Saved.ReadString("Options", "LastExtractPath", ""), std::string("/out/two/"));
        Start();
        QCOMPARE(State(), Before);

        // A settings file that cannot be written is reported and the window still closes.
        Form.reset();
        std::remove(Ini.c_str());
        QCOMPARE(mkdir(Ini.c_str(), 0700), 0);
        Start();
        TBoxAnswers Answers;
        QVERIFY(Form->close());
        QCOMPARE(Answers.Texts, std::vector<std::string>{"Unable to write to " + Ini});
    }

    void Browse() {
        TScratchDir D;
        const QString New = QString::fromStdString(D / "new/deeper");
        // Go needs both texts.
        Combo("SearchPath")->setEditText("");
        QTest::keyClicks(Combo("SearchStr"), "needle");
        QVERIFY(!Button("GoBtn")->isEnabled());
        // The dialog starts at the folder typed. A new folder is made after a Yes; a No keeps the dialog
        // open.
        Combo("SearchPath")->setEditText(QString::fromStdString(D.Path()));
        TBoxAnswers Boxes({idNo, idYes});
        QString Start;
        OnNextModal([&](QWidget* W) {
            auto* Dlg = qobject_cast<QFileDialog*>(W);
            QVERIFY(Dlg);
            Start = Dlg->directory().absolutePath();
            Child<QLineEdit>(Dlg, "fileNameEdit")->setText(New);
            while (Dlg->isVisible() && Boxes.Texts.size() < 2)
                static_cast<QDialog*>(Dlg)->accept();
        });
        QTest::mouseClick(Button("BrowseBtn"), Qt::LeftButton);
        QCOMPARE(Start, QString::fromStdString(D.Path()));
        const std::string Question = "The folder \"" + New.toStdString() + "\" does not exist. Create it?";
        QCOMPARE(Boxes.Texts, (std::vector<std::string>{Question, Question}));
        QVERIFY(QDir(New).exists());
        QCOMPARE(Combo("SearchPath")->currentText(), New + "/");
        QVERIFY(Button("GoBtn")->isEnabled());
        Combo("SearchStr")->setEditText("");
        QVERIFY(!Button("GoBtn")->isEnabled());
    }

    // The help button and F1 show the help file at its contents, in one window; without the file, a
    // message naming it.
    void Help() {
        TScratchDir D;
        const std::string Filler = QString("<p>filler</p>").repeated(200).toStdString();
        testutil::WriteFile(D / "t.hlp", "<title>Test Help</title>" + Filler +
                                             "<h2><a name=\"contents\">Contents</a></h2>" + Filler);
        Application().HelpFile = D / "t.hlp";
        QTest::mouseClick(Button("HelpBtn"), Qt::LeftButton);
        auto* Browser = Child<QTextBrowser>(Form.get(), "Browser");
        QWidget* Window = Browser->window();
        QVERIFY(QTest::qWaitForWindowExposed(Window));
        QCOMPARE(Window->windowTitle(), QString("Test Help"));
        QScrollBar* Bar = Browser->verticalScrollBar();
        const int AtContents = Bar->value();
        QVERIFY(AtContents > 0);

        Bar->setValue(Bar->maximum());
        Window->close();
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QTest::keyClick(Form->windowHandle(), Qt::Key_F1); // through the window system, as a key arrives
        QVERIFY(Window->isVisible());
        QCOMPARE(Bar->value(), AtContents);

        Window->close();
        Application().HelpFile = D / "missing.hlp";
        TBoxAnswers Boxes;
        QTest::mouseClick(Button("HelpBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Cannot open the help file " + (D / "missing.hlp")});
        QVERIFY(!Window->isVisible());
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
