// The zip outline (trees, attribute lines, wheel, drops, events, added files) and the extract dialog on it:
// extraction against unzip's, overwrite answers, target folders, passwords, Cancel, the window's double
// click.

#include "archive/AbExcept.h"
#include "common/QtTestUtil.h"
#include "platform/Files.h"
#include "ui/AbZipOut.h"
#include "ui/ExtractU.h"
#include "ui/OverWU.h"
#include "ui/QtPlatform.h"

#include <QtWidgets>
#include <filesystem>
#include <map>
#include <unistd.h>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// Node texts depth first, each level indented by two spaces, without attribute lines.
QStringList Texts(const TAbZipOutlineModel* M, const QModelIndex& Parent = {}, const QString& Indent = "") {
    QStringList R;
    for (int I = 0; I < M->rowCount(Parent); ++I)
        if (const QModelIndex Row = M->index(I, 0, Parent); M->Kind(Row) != TAbZipOutlineModel::nkAttribute)
            R << Indent + Row.data().toString() << Texts(M, Row, Indent + "  ");
    return R;
}

// Rows shown, walked top to bottom as the keyboard does; each row's parent must lead back to it.
int Shown(const QTreeView* View) {
    int N = 0;
    for (QModelIndex Row = View->model()->index(0, 0); Row.isValid(); Row = View->indexBelow(Row), ++N)
        if (View->model()->index(Row.row(), 0, Row.parent()) != Row)
            return -1;
    return N;
}

// Every file and folder below Root by relative path, with file contents.
std::map<std::string, std::string> TreeOf(const std::string& Root) {
    std::map<std::string, std::string> R;
    for (const auto& E : fs::recursive_directory_iterator(Root))
        R[fs::relative(E.path(), Root).string()] = E.is_directory() ? "<folder>" : ReadFile(E.path());
    return R;
}

int Questions = 0;

// Answers the next overwrite questions by pressing the named buttons, or Escape for "".
void AnswerQuestions(QStringList Buttons) {
    OnNextModal([Buttons](QWidget* Modal) mutable {
        ++Questions;
        const QString Button = Buttons.takeFirst();
        if (!Buttons.isEmpty())
            AnswerQuestions(Buttons);
        if (Button.isEmpty())
            QTest::keyClick(Modal, Qt::Key_Escape);
        else
            Child<QPushButton>(Modal, qPrintable(Button))->click();
    });
}

} // namespace

class ZipOutlineTest : public QObject {
    Q_OBJECT

    TQtPlatform Platform;
    TBoxAnswers Boxes;
    std::unique_ptr<TOverWriteDlg> OverWrite;
    std::unique_ptr<TExtractDlg> Dlg;

    QPushButton* Button(const char* Name) { return Child<QPushButton>(Dlg.get(), Name); }
    QProgressBar* Bar() { return Child<QProgressBar>(Dlg.get(), "ProgressBar1"); }
    // Opens Archive as the main window does and shows the dialog (not modally) with Folder as target.
    void Open(const std::string& Archive, const std::string& Folder) {
        Dlg->Aborted = false;
        Dlg->ZipOutline()->OpenArchive(Archive);
        Dlg->ExtractPath()->setEditText(QString::fromStdString(Folder));
        Dlg->show();
    }
    void Extract() { Button("ExtractBtn")->click(); }

private slots:
    void init() {
        OverWrite = std::make_unique<TOverWriteDlg>();
        Dlg = std::make_unique<TExtractDlg>(*OverWrite);
        Boxes.Texts.clear();
        Questions = 0;
    }

    void TreesAndAttributeLines() {
        TScratchDir Dir;
        const std::string Zip = Dir / "t.zip";
        PythonZip(Zip, "for n in ['a.txt', 'docs/b.txt', 'docs/sub/c.txt', 'Docs/d.txt', 'docs/', 'e.txt']:\n"
                       "    z.writestr(n, '' if n.endswith('/') else n)");
        TAbZipOutline Outline;
        Outline.SetFileName(Zip);
        // Folders in order of first use, entries in directory order within them; case makes two folders.
        QCOMPARE(Texts(Outline.Model()), QStringList({"a.txt", "docs", "  b.txt", "  sub", "    c.txt", "  ",
                                                      "Docs", "  d.txt", "e.txt"}));
        // Opening expands every node: 9 nodes and 8 attribute lines under each of the 6 entries.
        QCOMPARE(Shown(Outline.Display()), 9 + 6 * 8);

        Outline.SetHierarchy(false);
        QCOMPARE(Texts(Outline.Model()),
                 QStringList({"a.txt", "docs/b.txt", "docs/sub/c.txt", "Docs/d.txt", "docs/", "e.txt"}));
        // Every line as tarnlet-cli list --verbose words it, in its order, the time in the locale's short
        // form.
        Outline.SetAttributes(AbAllZipAttributes);
        std::string Listing;
        QCOMPARE(Cli("list --verbose " + Quote(Zip), &Listing), 0);
        QStringList Expected = QString::fromStdString(Listing).split('\n').mid(1, 12);
        for (QString& Line : Expected)
            Line = Line.mid(2);
        Expected[8] =
            "Time Stamp: " +
            QLocale().toString(QDateTime::fromString(Expected[8].mid(12), Qt::ISODate), QLocale::ShortFormat);
        const QModelIndex First = Outline.Model()->index(0, 0);
        for (int J = 0; J < Expected.size(); ++J)
            QCOMPARE(Outline.Model()->index(J, 0, First).data().toString(), Expected[J]);
        QCOMPARE(Outline.Model()->rowCount(First), Expected.size());
    }

    // Dropped files reach the handler whole, and only while one is set.
    void DroppedFiles() {
        TAbZipOutline Outline;
        TAbZipDisplayOutline* View = Outline.Display();
        QVERIFY(!View->viewport()->acceptDrops());
        std::vector<std::string> Dropped;
        Outline.SetOnWindowsDrop([&](void* Sender, const std::string& Name) {
            QCOMPARE(Sender, static_cast<void*>(&Outline));
            Dropped.push_back(Name);
        });
        const std::string Long = "/tmp/" + std::string(120, 'n') + "/archive one.zip";
        QMimeData Data;
        Data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Long)), QUrl::fromLocalFile("/tmp/b.zip")});
        QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View->viewport(), &Enter);
        QVERIFY(Enter.isAccepted());
        QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View->viewport(), &Drop);
        QCOMPARE(Dropped, (std::vector<std::string>{Long, "/tmp/b.zip"}));
        Outline.SetOnWindowsDrop(nullptr);
        QVERIFY(!View->viewport()->acceptDrops());
    }

    void ArchiveEventsOpeningAndAddingFiles() {
        TScratchDir Dir;
        PythonZip(Dir / "e.zip", "for n in ['one.txt', 'two.txt', 'three.txt']:\n    z.writestr(n, n * 100)");
        fs::permissions(Dir / "e.zip", fs::perms::owner_read);
        TAbZipOutline Outline;
        int Changes = 0;
        Outline.OnChange = [&](void*) { ++Changes; };
        // A folder set while closed reaches the archive opened later; a missing one is refused. A file the
        // user may not change still lists and extracts: without a question handler over existing files, and
        // with progress that comes with Abort cleared.
        Outline.SetBaseDirectory(Dir.Path());
        Outline.SetFileName(Dir / "e.zip");
        QCOMPARE(Changes, 1);
        QVERIFY_THROWS_EXCEPTION(EAbNoSuchDirectory, Outline.SetBaseDirectory(Dir / "missing"));
        WriteFile(Dir / "one.txt", "old");
        std::vector<int> Progress;
        Outline.OnArchiveProgress = [&](void* Sender, uint8_t P, bool& Abort) {
            QVERIFY(Sender == &Outline && !Abort);
            Progress.push_back(P);
        };
        Outline.ExtractMatching("*.*");
        QCOMPARE(ReadFile(Dir / "one.txt").size(), size_t(700));
        QCOMPARE(Progress, (std::vector<int>{33, 66, 100, 100}));

        // What cannot be read raises and leaves the control closed.
        WriteFile(Dir / "bad.zip", RandomBytes(3000, 4));
        QVERIFY_THROWS_EXCEPTION(std::exception, Outline.SetFileName(Dir / "bad.zip"));
        QVERIFY(Outline.FileName().empty() && Outline.Model()->rowCount() == 0);
        QVERIFY_THROWS_EXCEPTION(EAbNoArchive, Outline.AddFiles(Dir / "one.txt"));

        // A new name is a new archive; what is added shows at once and is written on closing, replacing an
        // entry of the same name, and unzip reads it.
        WriteFile(Dir / "in/a.txt", SampleText(30000, 7));
        WriteFile(Dir / "in/sub/b.bin", RandomBytes(5000, 8));
        Outline.SetStoreOptions({soStripDrive, soRemoveDots, soRecurse});
        Outline.SetFileName(Dir / "new.zip");
        QCOMPARE(Outline.EntryCount(), 0);
        const std::string In = Dir / "in", Stored = In.substr(1);
        Outline.AddFiles(In);
        Outline.AddFiles(In + "/a.txt");
        Outline.SetHierarchy(false);
        const QStringList Names = Texts(Outline.Model());
        QCOMPARE(Names.size(), 4);
        QCOMPARE(Names.last().toStdString(), Stored + "/a.txt");
        Outline.CloseArchive();
        QCOMPARE(Run("unzip -tq " + Quote(Dir / "new.zip") + " >/dev/null && unzip -p " +
                     Quote(Dir / "new.zip") + " " + Quote(Stored + "/sub/b.bin") + " | cmp -s - " +
                     Quote(In + "/sub/b.bin")),
                 0);
    }

    void ExtractionMatchesUnzipAndAnswersHoldForOneRun() {
        TScratchDir Dir;
        for (const char* Sub : {"tree/docs/deep", "tree/empty", "tree/Docs"})
            fs::create_directories(Dir / Sub);
        const char* const Files[] = {"tree/README", "tree/docs/a.txt", "tree/docs/deep/b.bin",
                                     "tree/Docs/c.txt", "tree/zero.dat"};
        for (int I = 0; I < 5; ++I)
            WriteFile(Dir / Files[I], I == 4 ? "" : I == 2 ? RandomBytes(70000, 3) : SampleText(20000, I));
        const std::string Zip = Dir / "zip.zip", Out = Dir / "ours", Theirs = Dir / "theirs";
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && zip -q -r zip.zip tree && unzip -q zip.zip -d theirs"),
                 0);
        fs::create_directories(Out);
        Open(Zip, Out);
        Extract();
        QVERIFY(Boxes.Texts.empty() && Bar()->isHidden());
        QVERIFY(TreeOf(Out) == TreeOf(Theirs));

        // Into the same tree again: answers, questions asked, files left changed. "YesTo All" and "No to All"
        // hold for one run only; a question closed with Escape keeps its file and the next is asked.
        for (const auto& [Answers, Asked, Kept] :
             {std::tuple{QStringList{"YesAllBtn"}, 1, 0},
              {QStringList{"NoAllBtn"}, 1, 5},
              {QStringList(5, ""), 5, 5},
              {QStringList{"YesBtn", "NoBtn", "NoBtn", "NoBtn", "NoBtn"}, 5, 4}}) {
            for (const char* F : Files)
                WriteFile(Out + "/" + F, "changed");
            Questions = 0;
            AnswerQuestions(Answers);
            Extract();
            QCOMPARE(Questions, Asked);
            int Changed = 0;
            for (const char* F : Files)
                Changed += ReadFile(Out + "/" + F) == "changed";
            QCOMPARE(Changed, Kept);
        }
        QVERIFY(Boxes.Texts.empty());

        // Cancel during a run stops it with a message and leaves no partial file; the archive extracts
        // again; idle, Cancel closes the dialog with result 2 and closes the archive.
        const std::string Stopped = Dir / "stopped", Again = Dir / "again";
        fs::create_directories(Stopped);
        Dlg->ExtractPath()->setEditText(QString::fromStdString(Stopped));
        QMetaObject::Connection Pressed;
        Pressed = connect(Bar(), &QProgressBar::valueChanged, this, [this, &Pressed](int Value) {
            if (Value == 0) // the bar set back as the run starts
                return;
            disconnect(Pressed);
            Button("CancelBtn")->click();
        });
        Extract();
        QCOMPARE(Boxes.Texts, std::vector<std::string>{"Process aborted by user"});
        const auto Part = TreeOf(Stopped), Whole = TreeOf(Theirs);
        QVERIFY(Part.size() < Whole.size());
        for (const auto& [Name, Data] : Part)
            QCOMPARE(Data, Whole.at(Name));
        fs::create_directories(Again);
        Dlg->ExtractPath()->setEditText(QString::fromStdString(Again));
        Extract();
        QVERIFY(TreeOf(Again) == Whole && Bar()->isHidden());
        QSignalSpy Finished(Dlg.get(), &QDialog::finished);
        Button("CancelBtn")->click();
        QVERIFY(!Dlg->isVisible() && Dlg->ZipOutline()->FileName().empty());
        QCOMPARE(Finished.value(0).value(0).toInt(), 2);
    }

    void PasswordsAskedAndFailedEntriesNamed() {
        TScratchDir Dir;
        for (const char* Name : {"a.txt", "b.txt", "e.txt", "c.txt"})
            WriteFile(Dir / Name, SampleText(3000, Name[0]));
        WriteFile(Dir / "d.txt", std::string(20, 'A'));
        // zip draws each encryption header at random; one that a wrong password below would pass by chance
        // (its check byte fits, 2 in 256) is drawn again.
        const char* const Rejected =
            "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nfor i in z.infolist():\n"
            "    z.fp.seek(i.header_offset); h = z.fp.read(30)\n"
            "    z.fp.seek(int.from_bytes(h[26:28], 'little') + int.from_bytes(h[28:], 'little'), 1)\n"
            "    head = z.fp.read(12)\n"
            "    assert not {zipfile._ZipDecrypter(p)(head)[11] for p in (b'', b'wrong', b'bad')} & "
            "{i.CRC >> 24, i._raw_time >> 8}\n";
        for (int Draws = 0;
             Run("cd " + Quote(Dir.Path()) + " && rm -f t.zip && zip -q -P right t.zip a.txt b.txt " +
                 "e.txt && python3 -c " + Quote(Rejected) + " t.zip 2>/dev/null") != 0;)
            QVERIFY(++Draws < 100);
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && zip -q t.zip c.txt && zip -q -0 t.zip d.txt"), 0);
        std::string Zip = ReadFile(Dir / "t.zip");
        Zip[Zip.find("AAAA")] = 'B'; // d.txt's CRC no longer fits
        WriteFile(Dir / "t.zip", Zip);
        QStringList Prompts, Answers;
        Dlg->AskPassword = [&](const QString& Prompt, QString& Password) {
            Prompts << Prompt;
            Password = Answers.takeFirst();
            return Password != "cancel";
        };
        // Each row: answers, questions asked, the entries that fail and why.
        for (const auto& [Given, Asked, Failed] :
             {std::tuple{QStringList{"wrong", "right"}, 2,
                         std::vector<std::string>{"d.txt: Failed CRC Check"}},
              {QStringList{"bad", "bad", "cancel"},
               3,
               {"a.txt: Cannot extract file - invalid password", "b.txt: No password given",
                "e.txt: No password given", "d.txt: Failed CRC Check"}}}) {
            const std::string Out = Dir / ("out" + std::to_string(Asked));
            fs::create_directories(Out);
            Dlg->ZipOutline()->SetPassword("");
            Open(Dir / "t.zip", Out);
            Prompts.clear();
            Answers = Given;
            Boxes.Texts.clear();
            Extract();
            QCOMPARE(Prompts.size(), Asked);
            QVERIFY(Prompts.first().contains("\"a.txt\""));
            std::string Expected = std::to_string(Failed.size()) + " of 5 entries could not be extracted:";
            for (const std::string& F : Failed)
                Expected += "\n" + F;
            QCOMPARE(Boxes.Texts, std::vector<std::string>{Expected});
            // Nothing half-written is left of what failed; the rest is whole.
            for (const char* Name : {"a.txt", "b.txt", "e.txt", "c.txt", "d.txt"}) {
                const bool Fails = Expected.find(std::string(Name) + ":") != std::string::npos;
                QCOMPARE(fs::exists(Out + "/" + Name) ? ReadFile(Out + "/" + Name) : "(none)",
                         Fails ? "(none)" : ReadFile(Dir / Name));
            }
        }
    }

    void DoubleClickOpensTheArchiveInTheDialog() {
        TScratchDir Dir;
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && echo x > f.txt && zip -q t.zip f.txt"), 0);
        WriteFile(Dir / "bad.zip", RandomBytes(500, 1));
        auto Form = ShowForm();
        QVERIFY(Form);
        Form->ExtractDlg = Dlg.get();
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText(QString::fromStdString(Dir.Path() + "/"));
        // Archive names come upper-cased from the search.
        Form->ScannerContextFound(Dir / "T.ZIP", "f.txt", 0, 0);
        Form->ScannerContextFound(Dir / "BAD.ZIP", "x", 0, 0);
        auto* Tree = Child<QTreeWidget>(Form.get(), "TreeView1");
        const auto DoubleClick = [Tree](QTreeWidgetItem* Node) {
            Tree->setCurrentItem(Node);
            emit Tree->itemDoubleClicked(Node, 0);
        };

        // First opening: the program's folder. A typed folder that does not exist is made after asking
        // (refused, nothing is extracted); one that cannot be written is a message; Browse shows the chosen
        // folder with a final "/" and extracts there. The folder of the last whole extraction is kept.
        fs::create_directories(Dir / "locked");
        fs::permissions(Dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        fs::create_directories(Dir / "chosen");
        Dlg->ChooseFolder = [&](const QString&) { return QString::fromStdString(Dir / "chosen"); };
        OnNextModal([&](QWidget* Modal) {
            QCOMPARE(Modal, static_cast<QWidget*>(Dlg.get()));
            QCOMPARE(Dlg->ArcFN()->text(), QString::fromStdString(Dir / "t.zip"));
            QCOMPARE(Dlg->ExtractPath()->currentText().toStdString(), ExcludeTrailingSlash(ProgramFolder()));
            Boxes.Texts.clear();
            for (auto [Folder, Answer] : {std::pair{"new/sub", idNo}, {"new/sub", idYes}, {"locked", idOK}}) {
                Dlg->ExtractPath()->setEditText(QString::fromStdString(Dir / Folder));
                Boxes.Answer(Answer);
                Extract();
                QVERIFY(!fs::exists(Dir / "new") || Answer != idNo);
            }
            QCOMPARE(Boxes.Texts.size(), size_t(::geteuid() ? 3 : 2));
            QCOMPARE(ReadFile(Dir / "new/sub/f.txt"), std::string("x\n"));
            Button("BrowseBtn")->click();
            QCOMPARE(Dlg->ExtractPath()->currentText(), QString::fromStdString(Dir / "chosen/"));
            Extract();
            Button("CancelBtn")->click();
        });
        DoubleClick(Tree->topLevelItem(0));
        QVERIFY(fs::exists(Dir / "chosen/f.txt") && Dlg->ZipOutline()->FileName().empty());
        QCOMPARE(fs::exists(Dir / "locked/f.txt"), ::geteuid() == 0);
        // Not an archive: shown as a plain file, no dialog.
        DoubleClick(Tree->topLevelItem(1));
        QCOMPARE(Child<QLabel>(Form.get(), "FNLabel")->text(), QString("bad.zip"));
        QVERIFY(Dlg->isHidden());
        // The folder used and the folder history are kept for the next run.
        Form->close();
        const TIniFile Ini(SettingsFile());
        QCOMPARE(Ini.ReadString("Options", "LastExtractPath", "") + "|" +
                     Ini.ReadString("ExtractPath", "ss0", ""),
                 Dir / "chosen/" + "|" + Dir / "new/sub");
        std::remove(SettingsFile().c_str());
    }
};

QTEST_MAIN(ZipOutlineTest)
#include "ZipOutlineTest.moc"
