// The extract dialog and the overwrite question: extraction compared with unzip's, the answers that hold
// for one run, the target folder, passwords and failed entries, Cancel, and the main window's double click.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "ui/AbZipOut.h"
#include "ui/ExtractU.h"
#include "ui/OverWU.h"
#include "ui/QtPlatform.h"

#include <QLabel>
#include <QProgressBar>
#include <filesystem>
#include <map>
#include <unistd.h>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

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

class ExtractDialogTest : public QObject {
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

    void ExtractionMatchesUnzipAndAnswersHoldForOneRun() {
        TScratchDir Dir;
        for (const char* Sub : {"tree/docs/deep", "tree/empty", "tree/Docs"})
            fs::create_directories(Dir / Sub);
        const char* const Files[] = {"tree/README", "tree/docs/a.txt", "tree/docs/deep/b.bin",
                                     "tree/Docs/c.txt", "tree/zero.dat"};
        for (int I = 0; I < 5; ++I)
            WriteFile(Dir / Files[I], I == 4 ? "" : I == 2 ? RandomBytes(70000, 3) : SampleText(20000, I));
        QCOMPARE(Run("cd " + Quote(Dir.Path()) +
                     " && zip -q -r zip.zip tree && zip -q -r -0 stored.zip tree && "
                     "7zz a -tzip -bd 7z.zip tree >/dev/null"),
                 0);
        std::vector<std::string> Archives = {Dir / "zip.zip", Dir / "stored.zip", Dir / "7z.zip"};
        for (const char* Fixture : {"PKZ110.ZIP", "PKZ204EX.ZIP", "PKZ80A1.ZIP"})
            Archives.push_back(Pkzip(Fixture));
        for (size_t N = 0; N < Archives.size(); ++N) {
            const std::string Ours = Dir / ("ours" + std::to_string(N)),
                              Theirs = Dir / ("theirs" + std::to_string(N));
            fs::create_directories(Ours);
            QCOMPARE(Run("unzip -q " + Quote(Archives[N]) + " -d " + Quote(Theirs)), 0);
            Open(Archives[N], Ours);
            Extract();
            QVERIFY2(Boxes.Texts.empty(), Boxes.Texts.empty() ? "" : Boxes.Texts[0].c_str());
            QVERIFY(TreeOf(Ours) == TreeOf(Theirs));
            QVERIFY(Bar()->isHidden());
        }

        // Into the first tree again: answers, questions asked, files left changed. "YesTo All" and "No to
        // All" hold for one run only; a question closed with Escape keeps its file and the next is asked.
        const std::string Out = Dir / "ours0";
        Open(Archives[0], Out);
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
        // again; idle, Cancel and Escape close the dialog with result 2 and close the archive.
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
        const auto Part = TreeOf(Stopped), Whole = TreeOf(Dir / "theirs0");
        QVERIFY(Part.size() < Whole.size());
        for (const auto& [Name, Data] : Part)
            QCOMPARE(Data, Whole.at(Name));
        fs::create_directories(Again);
        Dlg->ExtractPath()->setEditText(QString::fromStdString(Again));
        Extract();
        QVERIFY(TreeOf(Again) == Whole && Bar()->isHidden());
        QSignalSpy Finished(Dlg.get(), &QDialog::finished);
        Button("CancelBtn")->click();
        QVERIFY(!Dlg->isVisible());
        QCOMPARE(Finished.value(0).value(0).toInt(), 2);
        QCOMPARE(Dlg->ZipOutline()->FileName(), std::string());
        Open(Archives[0], Out);
        QTest::keyClick(Dlg.get(), Qt::Key_Escape);
        QVERIFY(!Dlg->isVisible());
    }

    void PasswordsAskedAndFailedEntriesNamed() {
        TScratchDir Dir;
        for (const char* Name : {"a.txt", "b.txt", "e.txt", "c.txt"})
            WriteFile(Dir / Name, SampleText(3000, Name[0]));
        WriteFile(Dir / "d.txt", std::string(20, 'A'));
        // zip draws each encryption header at random; one that a wrong password below would pass by chance
        // (its check byte fits, 2 in 256) is drawn again.
        const char* const Rejected = "import sys, zipfile\n"
                                     "z = zipfile.ZipFile(sys.argv[1])\n"
                                     "for i in z.infolist():\n"
                                     "    z.fp.seek(i.header_offset)\n"
                                     "    h = z.fp.read(30)\n"
                                     "    z.fp.seek(int.from_bytes(h[26:28], 'little') + "
                                     "int.from_bytes(h[28:], 'little'), 1)\n"
                                     "    head = z.fp.read(12)\n"
                                     "    for p in (b'', b'wrong', b'bad'):\n"
                                     "        assert zipfile._ZipDecrypter(p)(head)[11] not in (i.CRC >> 24, "
                                     "i._raw_time >> 8)\n";
        for (int Draws = 0;
             Run("cd " + Quote(Dir.Path()) + " && rm -f t.zip && zip -q -P right t.zip a.txt b.txt " +
                 "e.txt && python3 -c " + Quote(Rejected) + " t.zip 2>/dev/null") != 0;)
            QVERIFY(++Draws < 100);
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && zip -q t.zip c.txt && zip -q -0 t.zip d.txt"), 0);
        // Damage the stored data of d.txt: its CRC no longer fits.
        std::string Zip = ReadFile(Dir / "t.zip");
        Zip[Zip.find("AAAA")] = 'B';
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
            QCOMPARE(Boxes.Texts.size(), size_t(1));
            std::string Expected = std::to_string(Failed.size()) + " of 5 entries could not be extracted:";
            for (const std::string& F : Failed)
                Expected += "\n" + F;
            QCOMPARE(Boxes.Texts[0], Expected);
            // Nothing half-written is left of what failed; the rest is whole.
            for (const char* Name : {"a.txt", "b.txt", "e.txt", "c.txt", "d.txt"}) {
                const bool Fails = Expected.find(std::string(Name) + ":") != std::string::npos;
                QCOMPARE(fs::exists(Out + "/" + Name), !Fails);
                if (!Fails)
                    QCOMPARE(ReadFile(Out + "/" + Name), ReadFile(Dir / Name));
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
        // An entry node does nothing.
        DoubleClick(Tree->topLevelItem(0)->child(0));
        QVERIFY(Dlg->isHidden());

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
        QVERIFY(fs::exists(Dir / "chosen/f.txt"));
        QCOMPARE(fs::exists(Dir / "locked/f.txt"), ::geteuid() == 0);
        QCOMPARE(Dlg->ZipOutline()->FileName(), std::string());

        // Not an archive: shown as a plain file, no dialog.
        DoubleClick(Tree->topLevelItem(1));
        QCOMPARE(Child<QLabel>(Form.get(), "FNLabel")->text(), QString("bad.zip"));
        QVERIFY(Dlg->isHidden());

        // The folder used and the folder history are kept for the next run.
        Form->close();
        const TIniFile Ini(SettingsFile());
        QCOMPARE(Ini.ReadString("Options", "LastExtractPath", ""), Dir / "chosen/");
        QCOMPARE(Ini.ReadString("ExtractPath", "ss0", ""), Dir / "new/sub");
        std::remove(SettingsFile().c_str());
    }
};

QTEST_MAIN(ExtractDialogTest)
#include "ExtractDialogTest.moc"