// The main window: the file types, searches that cannot start, searches run (the tree, counter, histories,
// Stop and close during a search), what it keeps between runs, Browse, help, dragging entries out.

#include "common/QtTestUtil.h"
#include "platform/Files.h"
#include "ui/Application.h"
#include "ui/DropSource.h"
#include "ui/QtPlatform.h"

#include <QtWidgets>
#include <future>
#include <pthread.h>
#include <sys/stat.h>

using testutil::Child;
using testutil::OnNextModal;
using testutil::TBoxAnswers;
using testutil::TreeTexts;
using testutil::TScratchDir;

class FormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TForm1> Form;
    TScratchDir Dir, Matches, Crowd; // archives with and without matches; many small files, so a search lasts
    const std::string Ini = testutil::SettingsFile();
    const QString Home = QCoreApplication::applicationDirPath() + "/";

    void Start(bool Keep = true) {
        Form = testutil::ShowForm(Keep);
        QVERIFY(Form);
    }
    QString Folder() const { return QString::fromStdString(Dir.Path()); }
    QString MatchFolder() const { return QString::fromStdString(Matches.Path()); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QListWidget* Masks() { return Child<QListWidget>(Form.get(), "MaskTypes"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QComboBox* Combo(const char* Name) { return Child<QComboBox>(Form.get(), Name); }
    QCheckBox* Check(const char* Name) { return Child<QCheckBox>(Form.get(), Name); }
    QString Status() { return Child<QLabel>(Form.get(), "lblCurrent")->text(); }
    QStringList Items(const char* Name) {
        QStringList Texts;
        for (int I = 0; I < Combo(Name)->count(); ++I)
            Texts << Combo(Name)->itemText(I);
        return Texts;
    }
    void Search(const QString& Text, const QString& Where,
                const QStringList& Types = {"Text Files (*.txt)"}) {
        testutil::StartSearch(Form.get(), Text, Where, Types);
    }
    void WaitForEnd() { QVERIFY(testutil::WaitForSearchEnd(Form.get())); }
    QStringList SearchTree(const QString& Text, bool NamesOnly = false) {
        Check("NamesOnlyChk")->setChecked(NamesOnly);
        Search(Text, Folder());
        return testutil::WaitForSearchEnd(Form.get()) ? TreeTexts(Tree()) : QStringList{"(no end)"};
    }
    // The types' masks, "+" before the ticked ones.
    QString Types() {
        QStringList Texts;
        for (int I = 0; I < Masks()->count(); ++I)
            Texts << (Masks()->item(I)->checkState() == Qt::Checked ? "+" : "") +
                         Masks()->item(I)->text().section('(', -1).chopped(1);
        return Texts.join(" ");
    }
    // Everything the window saves: both histories and texts, the types, the four check boxes.
    QStringList State() {
        QString Ticks;
        for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
            Ticks += Check(Name)->isChecked() ? '1' : '0';
        return QStringList() << Items("SearchStr").join(',') << Combo("SearchStr")->currentText()
                             << Items("SearchPath").join(',') << Combo("SearchPath")->currentText() << Types()
                             << Ticks;
    }
    // The counter, the status line, Go's caption and the controls a user can use; the latter two when idle.
    const QString Idle =
        " | &Go | SearchStr SearchPath CaseChk NamesOnlyChk SubFoldersChk BrowseBtn MaskTypes "
        "AddMaskBtn GoBtn TreeView1";
    QString Seen() {
        QString Names;
        for (const char* Name :
             {"SearchStr", "SearchPath", "CaseChk", "NamesOnlyChk", "SubFoldersChk", "BrowseBtn", "MaskTypes",
              "AddMaskBtn", "SelfExChk", "FindNextBtn", "ViewerBtn", "LaunchBtn", "GoBtn", "TreeView1"})
            if (Child<QWidget>(Form.get(), Name)->isEnabled())
                Names += QString(" ") + Name;
        return Child<QLabel>(Form.get(), "MatchLbl")->text() + " | " + Status() + " | " +
               Button("GoBtn")->text() + " |" + Names;
    }
    void AddType(const QString& Description, const QString& Extension, bool Enable) {
        OnNextModal([=](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), Description);
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), Extension);
            Child<QCheckBox>(Dlg, "CheckChk")->setChecked(Enable);
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
    }
    // A search over the crowd, once the worker reported its first file: every report waits for the main
    // thread, so the walk cannot have got far.
    void StartLongSearch() {
        Search("needle", QString::fromStdString(Crowd.Path()));
        QElapsedTimer Clock;
        Clock.start();
        while (!Status().startsWith("Examining: ") && Clock.elapsed() < 10000)
            QCoreApplication::processEvents();
        QVERIFY(Status().startsWith("Examining: " + QString::fromStdString(Crowd.Path())));
        QVERIFY(Form->Seeker().Running());
    }

    TDropFileSource* Source() { return Child<TDropFileSource>(Form.get(), "DropFileSource1"); }
    void Send(QEvent::Type Type, QPoint At, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Mods = {}) {
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
        Send(QEvent::MouseButtonPress, At, Qt::LeftButton);
        Send(QEvent::MouseMove, At + Delta, Buttons, Mods);
        Send(QEvent::MouseButtonRelease, At + Delta, Qt::NoButton);
        return Source()->Files != QStringList{"untouched"};
    }
    // The files a drop target receives after the user let go over it.
    QString Dropped() {
        Source()->GiveFeedback(deCopy);
        return std::unique_ptr<QMimeData>(Source()->CreateMimeData())->text();
    }

private slots:
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        testutil::MakeZip(Dir / "a.zip", {{"in.txt", "the needle is inside"}}, "-X");
        testutil::WriteFile(Dir / "data/x.zip", "PK no archive, a needle");
        testutil::WriteFile(Dir / "data/broken/x.zip", "PK no archive either, a needle");
        testutil::WriteFile(Dir / "needle-notes.exe", "MZ nothing to find inside");
        QCOMPARE(::mkfifo((Dir / "pipe.zip").c_str(), 0600), 0); // may neither block nor end the search
        testutil::MakeZip(Matches / "a.zip", {{"one.txt", "hello needle"},
                                              {"src/two.txt", "needle at the start"},
                                              {"three.c", "needle in a type not ticked"},
                                              {"four.txt", "no match"},
                                              {"br[1].txt", "more needle"}});
        testutil::MakeZip(Matches / "sub/b.zip", {{"x.txt", "a needle"}});
        testutil::WriteFile(Matches / "zz.exe", "MZ... needle ...");
        testutil::WriteFile(Matches / "notes.txt", "needle, but no archive and no program");
        for (int I = 0; I < 300; ++I)
            testutil::WriteFile(Crowd / QString("f%1.zip").arg(I, 5, 10, QChar('0')).toStdString(), "x");
    }
    void cleanupTestCase() { Platform.reset(); }
    void init() { Start(false); }
    void cleanup() {
        Form.reset();
        std::remove(Ini.c_str());
        rmdir(Ini.c_str());
    }

    void AtRest() {
        // "Include self-extracting EXE archives" cannot be ticked by the user: it keeps its design state.
        QCOMPARE(State(), (QStringList{"", "", Home, Home, "*.* *.pas *.dfm *.c *.txt *.htm", "0001"}));
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
        QVERIFY(Types().startsWith("*.* +*.pas +*.dfm +*.c"));
        // A duplicate apart from letter case is refused; an unticked type comes unticked; "*.x", ".x" mean
        // "x".
        AddType("ZIP Files", "zip", true);
        AddType("c files", "C", true);
        AddType("", ".md", false);
        // OK without an extension keeps the dialog open.
        bool StayedOpen = false;
        OnNextModal([&](QWidget* Dlg) {
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit1"), "Long");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
            StayedOpen = Dlg->isVisible();
            QTest::keyClicks(Child<QLineEdit>(Dlg, "Edit2"), "*.json");
            QTest::mouseClick(Child<QPushButton>(Dlg, "OKBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("AddMaskBtn"), Qt::LeftButton);
        QVERIFY(StayedOpen);

        // "-" acts on the current type, asks first, and keeps "All Files".
        TBoxAnswers Boxes({idOK, idNo, idYes});
        QPushButton* Del = Button("DelMaskBtn");
        for (int Row : {0, 3}) {
            QTest::mouseClick(Masks()->viewport(), Qt::LeftButton, {},
                              Masks()->visualItemRect(Masks()->item(Row)).center());
            for (int I = 0; I < (Row ? 3 : 1); ++I) // "All Files" stays; No, Yes, then nothing is current
                QTest::mouseClick(Del, Qt::LeftButton);
        }
        QCOMPARE(Types(), QString("*.* +*.pas +*.dfm +*.txt +*.htm +*.zip *.md *.json"));
        const std::string Question = "Permanently Delete \"C Files (*.c)\"";
        QCOMPARE(Boxes.Texts,
                 std::vector<std::string>({"This File Mask can not be removed.", Question, Question}));
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
            QVERIFY(QString::fromStdString(Boxes.Texts.back()).contains("does not exist"));
        }
        QCOMPARE(Combo("SearchPath")->count(), 1);
        // A default stack no system can give makes the next thread creation fail.
        pthread_attr_t Old, Huge;
        QCOMPARE(pthread_getattr_default_np(&Old), 0);
        pthread_attr_init(&Huge);
        pthread_attr_setstacksize(&Huge, size_t(1) << 46);
        pthread_setattr_default_np(&Huge);
        Search("needle", Folder());
        pthread_setattr_default_np(&Old);
        pthread_attr_destroy(&Huge);
        pthread_attr_destroy(&Old);

        QCOMPARE(Boxes.Texts.size(), size_t(4));
        QVERIFY(Seen().endsWith(" | " + Idle));
        QCOMPARE(SearchTree("needle").size(), 4);
        QVERIFY(Form->close());
        QCOMPARE(Boxes.Texts.size(), size_t(4));
    }

    // Names-only never opens a file. Two searches at once from one program folder used to share one
    // temporary file and lose entries: every run must agree, also with a console search beside it.
    void SearchesOfANewUser() {
        TBoxAnswers Boxes;
        QCOMPARE(SearchTree("needle", true), QStringList({"NEEDLE-NOTES.EXE"}));
        QCOMPARE(SearchTree("x.zip", true), QStringList({"data/broken/X.ZIP", "data/X.ZIP"}));
        // Return starts the search Go would, and adds nothing more to the history.
        Combo("SearchStr")->setEditText("inside");
        QTest::keyClick(Combo("SearchStr")->lineEdit(), Qt::Key_Return);
        WaitForEnd();
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

    void SearchBuildsTheTreeAndEnds() {
        TBoxAnswers Boxes;
        Search("NEEDLE", MatchFolder());
        QVERIFY(Seen().endsWith("| &Stop | GoBtn TreeView1"));
        WaitForEnd();
        QCOMPARE(TreeTexts(Tree()), QStringList({"A.ZIP", "  one.txt", "  src/two.txt", "  br[1].txt",
                                                 "sub/B.ZIP", "  x.txt", "ZZ.EXE"}));
        QCOMPARE(Seen(), "2/5 | Done! Total of 3 files examined" + Idle); // notes.txt is no archive
        QVERIFY(Child<QProgressBar>(Form.get(), "Progress")->isHidden());
        QVERIFY(Boxes.Beeps >= 1 && Boxes.Texts.empty());

        Search("other", MatchFolder() + "/");
        WaitForEnd();
        Check("CaseChk")->setChecked(true);
        Check("SubFoldersChk")->setChecked(false);
        Combo("SearchStr")->setEditText("NEEDLE");
        QTest::mouseClick(Button("GoBtn"), Qt::LeftButton);
        WaitForEnd();
        QCOMPARE(Seen(), "0 found | Done! Total of 2 files examined" + Idle);
        // A text or folder searched again is listed once, first; the folder got its final "/" once.
        QCOMPARE(Items("SearchStr"), QStringList({"NEEDLE", "other"}));
        QCOMPARE(Items("SearchPath"), QStringList({MatchFolder() + "/", Home}));
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
        QCOMPARE(TreeTexts(Tree()), QStringList({"SETUP.EXE", "A.ZIP", "  a.txt", "  src/b.txt", "Old/B.ZIP",
                                                 "  b.txt", "A.ZIP", "  data[2].txt"}));
        QVERIFY(Seen().startsWith("3/5 |"));
        QCOMPARE(Tree()->currentItem()->text(0), QString("data[2].txt")); // the newest archive's first entry
        QSignalSpy Shown(Form.get(), &TForm1::EntrySelected);
        Tree()->setCurrentItem(Tree()->topLevelItem(1)->child(0));
        Tree()->setCurrentItem(Tree()->topLevelItem(1)); // archive node: nothing
        Tree()->setCurrentItem(Tree()->topLevelItem(0)); // plain file: nothing
        Combo("SearchPath")->setEditText("/elsewhere/sub");
        Tree()->setCurrentItem(Tree()->topLevelItem(3)->child(0));
        QCOMPARE(static_cast<QList<QVariantList>>(Shown),
                 (QList<QVariantList>{{"/work/A.ZIP", "a.txt"}, {"/elsewhere/A.ZIP", "data"}}));

        // Go starts a fresh tree; while the worker runs, selections show nothing, also the select-and-clear
        // at the end of the search.
        StartLongSearch();
        QVERIFY(Seen().startsWith("0 found |"));
        for (const char* Entry : {"a.txt", "b.txt"})
            Form->ScannerContextFound(Crowd.Path() + "/A.ZIP", Entry, 0, 0);
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        WaitForEnd();
        QCOMPARE(TreeTexts(Tree()), QStringList({"A.ZIP", "  a.txt", "  b.txt"}));
        QVERIFY(Shown.count() == 2 && Tree()->selectedItems().isEmpty());
        Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(1));
        QCOMPARE(Shown.count(), 3);
    }

    // Stop ends the search; a window destroyed meanwhile waits for its worker; closing asks, and after a Yes
    // the window goes out of sight at once and is closed (here: deleted) after the worker ended.
    void StopCloseOrDestroyDuringSearch() {
        StartLongSearch();
        QTest::mouseClick(Button("GoBtn"), Qt::LeftButton);
        WaitForEnd();
        QVERIFY2(Status().startsWith("Done! Total of ") && !Status().contains(" 300 "), qPrintable(Status()));
        QVERIFY(Combo("SearchStr")->isEnabled());
        StartLongSearch();
        Form.reset();
        Start(false);

        TBoxAnswers Boxes({idNo, idYes});
        StartLongSearch();
        QVERIFY(!Form->close() && Form->isVisible() && Form->Seeker().Running());
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

    // Two entries share a bare name; only the second holds the text. A drag starts past a threshold with one
    // button, carries the archive or the entry, and extracts the entry only when a drop target asks for it.
    void DragOut() {
        TScratchDir D;
        const std::string Zip = testutil::MakeZip(
            D / "a.zip", {{"a/Unit1.pas", "other text\n"}, {"dir/Unit1.pas", "the needle here\n"}}, "-0");
        Search("needle", QString::fromStdString(D.Path()), {"All Files (*.*)"});
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
        Send(QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton);
        Tree()->clearSelection();
        Send(QEvent::MouseMove, {40, 40}, Qt::LeftButton);
        QCOMPARE(Source()->Files, QStringList{"untouched"});

        QVERIFY(Drag(Tree()->topLevelItem(0), {0, 15}));
        QCOMPARE(Dropped(), QString::fromStdString(Zip));
        QVERIFY(Drag(Entry, {12, 0}));
        const std::string Temp = JoinPath(PrivateTempFolder(), "Unit1.pas");
        DeleteFile(Temp);
        QCOMPARE(Dropped(), QString::fromStdString(Temp));
        QCOMPARE(testutil::ReadFile(Temp), std::string("the needle here\n"));

        // A damaged entry, then an archive gone since the search: the drop is cancelled, no stale copy is
        // left to drop instead, and a message says why once the drag is over.
        std::string Bytes = testutil::ReadFile(Zip);
        Bytes[Bytes.find("the needle")] = 'T';
        testutil::WriteFile(Zip, Bytes);
        TBoxAnswers Boxes;
        for (size_t Shown = 1; Shown <= 2; ++Shown) {
            QVERIFY(Drag(Entry, {12, 0}));
            QCOMPARE(Dropped(), QString());
            QVERIFY(!FileExists(Temp) && Boxes.Texts.size() == Shown - 1);
            QTRY_COMPARE(Boxes.Texts.size(), Shown);
            std::remove(Zip.c_str());
        }
    }

    // Settings: a hand-written file read (types match the list whatever their case), changed, saved on close
    // and shown by the next window; histories keep 17 entries, what the window does not use stays.
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
        QCOMPARE(State(), (QStringList{"first", "", "/one/", Where, "*.* +*.pas *.dfm *.c *.txt *.htm +*.zip",
                                       "1000"}));
        QCOMPARE(QDir::currentPath(), Where);

        for (int I = 0; I < 20; ++I)
            Combo("SearchStr")->addItem(QString(" text %1 ").arg(I));
        Combo("SearchPath")->setEditText("/typed/");
        Masks()->item(3)->setCheckState(Qt::Checked);
        for (const char* Name : {"CaseChk", "SubFoldersChk", "NamesOnlyChk", "SelfExChk"})
            Check(Name)->toggle();
        QStringList Before = State();
        Before[0] = Before[0].section(',', 0, 16);
        Before[3] = Home; // "/typed/" does not exist: the next start shows the program folder
        Form->close();
        const TIniFile Saved(Ini);
        QCOMPARE(Saved.ReadString("Options", "LastPath", "") + Saved.ReadString("ExtractPath", "ss0", "") +
                     Saved.ReadString("Options", "LastExtractPath", ""),
                 std::string("/typed//out/one//out/two/"));
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

    // Browse starts at the folder typed; a new folder is made after a Yes, a No keeps the dialog open.
    void Browse() {
        const QString New = QString::fromStdString(Dir / "new/deeper");
        Combo("SearchPath")->setEditText(Folder());
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
        QCOMPARE(Start, Folder());
        const std::string Question = "The folder \"" + New.toStdString() + "\" does not exist. Create it?";
        QCOMPARE(Boxes.Texts, (std::vector<std::string>{Question, Question}));
        QVERIFY(QDir(New).exists());
        QCOMPARE(Combo("SearchPath")->currentText(), New + "/");
    }

    // Without its file, help says so.
    void Help() {
        Application().HelpFile = Dir / "missing.hlp";
        TBoxAnswers Boxes;
        QTest::mouseClick(Button("HelpBtn"), Qt::LeftButton);
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Cannot open the help file " + (Dir / "missing.hlp")});
    }

    // A worker asks through a real Qt message box on the main thread and waits for the answer.
    void WorkerAsksThroughAQtBox() {
        Platform.reset(); // boxes answered by the tests before are Qt boxes again
        Platform = std::make_unique<TQtPlatform>();
        QString Shown;
        OnNextModal([&](QWidget* W) {
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
        QCOMPARE(Shown + QString::number(Worker.get()), "Question|Overwrite it?" + QString::number(idNo));
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
