// The extract dialog and the overwrite question: extraction compared with unzip's, the answers that hold
// for one run, Cancel, the target folder, failed entries; and the main window's double click that opens it.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/IniFiles.h"
#include "ui/AbZipOut.h"
#include "ui/ExtractU.h"
#include "ui/OverWU.h"
#include "ui/QtPlatform.h"
#include "ui/arcscanu.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
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

// A tree with nested and empty folders, names with and without dots, text and binary data.
void MakeTree(const TScratchDir& Dir) {
    for (const char* Sub : {"tree/docs/deep", "tree/empty", "tree/Docs"})
        fs::create_directories(Dir / Sub);
    WriteFile(Dir / "tree/README", SampleText(4000, 1));
    WriteFile(Dir / "tree/docs/a.txt", SampleText(20000, 2));
    WriteFile(Dir / "tree/docs/deep/b.bin", RandomBytes(70000, 3));
    WriteFile(Dir / "tree/Docs/c.txt", "upper");
    WriteFile(Dir / "tree/zero.dat", "");
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

    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<TBoxAnswers> Boxes;
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
    void initTestCase() {
        Platform = std::make_unique<TQtPlatform>();
        Boxes = std::make_unique<TBoxAnswers>();
    }
    void cleanupTestCase() {
        Boxes.reset();
        Platform.reset();
    }
    void init() {
        OverWrite = std::make_unique<TOverWriteDlg>();
        Dlg = std::make_unique<TExtractDlg>(*OverWrite);
        Boxes->Texts.clear();
        Questions = 0;
    }
    void cleanup() {
        Dlg.reset();
        OverWrite.reset();
    }

    void ExtractionMatchesUnzip() {
        TScratchDir Dir;
        MakeTree(Dir);
        const std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
        QCOMPARE(Run(Cd + "zip -q -r zip.zip tree && zip -q -r -0 stored.zip tree && "
                          "7zz a -tzip -bd 7z.zip tree >/dev/null"),
                 0);
        std::vector<std::string> Archives = {Dir / "zip.zip", Dir / "stored.zip", Dir / "7z.zip"};
        for (const char* Fixture : {"PKZ110.ZIP", "PKZ204EX.ZIP", "PKZ80A1.ZIP"})
            Archives.push_back(FixturesDir() + "/pkzip/" + Fixture);
        int N = 0;
        for (const std::string& Archive : Archives) {
            const std::string Ours = Dir / ("ours" + std::to_string(N)),
                              Theirs = Dir / ("theirs" + std::to_string(N));
            ++N;
            fs::create_directories(Ours);
            QCOMPARE(Run("unzip -q " + Quote(Archive) + " -d " + Quote(Theirs)), 0);
            Open(Archive, Ours);
            Extract();
            QVERIFY2(Boxes->Texts.empty(), Boxes->Texts.empty() ? "" : Boxes->Texts[0].c_str());
            QVERIFY(TreeOf(Ours) == TreeOf(Theirs));
            QVERIFY(Bar()->isHidden());
            QCOMPARE(Questions, 0);
            Dlg->ZipOutline()->CloseArchive();
        }
    }

    void OverwriteAnswersHoldForOneExtraction() {
        TScratchDir Dir;
        MakeTree(Dir);
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && zip -q -r t.zip tree"), 0);
        const std::string Out = Dir / "out";
        fs::create_directories(Out);
        Open(Dir / "t.zip", Out);
        Extract();
        const auto Clean = TreeOf(Out);
        const char* const Files[] = {"tree/README", "tree/docs/a.txt", "tree/docs/deep/b.bin",
                                     "tree/Docs/c.txt", "tree/zero.dat"};
        const auto Spoil = [&] {
            for (const char* F : Files)
                WriteFile(Out + "/" + F, "changed");
        };
        const auto Changed = [&] {
            int C = 0;
            for (const char* F : Files)
                C += ReadFile(Out + "/" + F) == "changed";
            return C;
        };
        const int Count = 5;

        // Yes to All: one question, every file replaced; the next Extract asks again.
        Spoil();
        AnswerQuestions({"YesAllBtn"});
        Extract();
        QCOMPARE(Questions, 1);
        QVERIFY(TreeOf(Out) == Clean);
        Questions = 0;
        AnswerQuestions({"NoAllBtn"});
        Spoil();
        Extract();
        QCOMPARE(Questions, 1);
        QCOMPARE(Changed(), Count);

        // Closing the question keeps that file and asks again for the next.
        Questions = 0;
        AnswerQuestions(QStringList(Count, ""));
        Extract();
        QCOMPARE(Questions, Count);
        QCOMPARE(Changed(), Count);
        QCOMPARE(Dlg->OverwriteAnswer, 2);

        // Yes for one, No for the rest.
        Questions = 0;
        AnswerQuestions({"YesBtn", "NoBtn", "NoBtn", "NoBtn", "NoBtn"});
        Extract();
        QCOMPARE(Questions, Count);
        QCOMPARE(Changed(), Count - 1);
        QVERIFY(Boxes->Texts.empty());
        QVERIFY(Bar()->isHidden());
    }

    void TargetFolderTypedOrChosen() {
        TScratchDir Dir;
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && echo x > f.txt && zip -q t.zip f.txt"), 0);
        Open(Dir / "t.zip", Dir / "new/sub");
        // A folder that does not exist is made after asking; refused, nothing is extracted.
        Boxes->Answer(idNo);
        Extract();
        QVERIFY(!fs::exists(Dir / "new"));
        Boxes->Answer(idYes);
        Extract();
        QCOMPARE(ReadFile(Dir / "new/sub/f.txt"), std::string("x\n"));
        QCOMPARE(Dlg->CompletedPath, Dir / "new/sub");
        QCOMPARE(Dlg->ExtractPath()->findText(QString::fromStdString(Dir / "new/sub")), 0);

        // A folder that cannot be written is a message, and nothing happens.
        fs::create_directories(Dir / "locked");
        fs::permissions(Dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        Boxes->Texts.clear();
        Dlg->ExtractPath()->setEditText(QString::fromStdString(Dir / "locked"));
        Extract();
        if (::geteuid() != 0) {
            QCOMPARE(Boxes->Texts.size(), size_t(1));
            QVERIFY(!fs::exists(Dir / "locked/f.txt"));
        }

        // Browse shows the chosen folder with a final "/" and extracts there next.
        fs::create_directories(Dir / "chosen");
        Dlg->ChooseFolder = [&](const QString&) { return QString::fromStdString(Dir / "chosen"); };
        Button("BrowseBtn")->click();
        QCOMPARE(Dlg->ExtractPath()->currentText(), QString::fromStdString(Dir / "chosen/"));
        QCOMPARE(Dlg->ZipOutline()->BaseDirectory(), Dir / "chosen");
        Extract();
        QVERIFY(fs::exists(Dir / "chosen/f.txt"));
    }

    void FailedEntriesAreNamedAndTheRestExtracted() {
        TScratchDir Dir;
        QCOMPARE(Run("cd " + Quote(Dir.Path()) +
                     " && printf 'AAAAAAAAAAAAAAAAAAAA' > a.txt && "
                     "printf 'good' > b.txt && zip -q -0 t.zip a.txt b.txt"),
                 0);
        // Damage the stored data of a.txt: its CRC no longer fits.
        std::string Zip = ReadFile(Dir / "t.zip");
        Zip[Zip.find("AAAA")] = 'B';
        WriteFile(Dir / "t.zip", Zip);
        fs::create_directories(Dir / "out");
        Open(Dir / "t.zip", Dir / "out");
        Extract();
        QCOMPARE(Boxes->Texts.size(), size_t(1));
        QVERIFY2(Boxes->Texts[0].find("a.txt: Failed CRC Check") != std::string::npos,
                 Boxes->Texts[0].c_str());
        QVERIFY(!fs::exists(Dir / "out/a.txt"));
        QCOMPARE(ReadFile(Dir / "out/b.txt"), std::string("good"));
    }

    void CancelStopsARunningExtractionAndClosesWhenIdle() {
        TScratchDir Dir;
        for (int I = 0; I < 24; ++I)
            WriteFile(Dir / ("big" + std::to_string(I)), RandomBytes(2 << 20, unsigned(I)));
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && zip -q -0 t.zip big*"), 0);
        fs::create_directories(Dir / "out");
        Open(Dir / "t.zip", Dir / "out");
        // The press arrives while the extraction runs, once the first entry is out. (A press queued for
        // the event loop raced the extraction: on an idle machine it could finish between two turns.)
        QMetaObject::Connection Pressed;
        Pressed = connect(Bar(), &QProgressBar::valueChanged, this, [this, &Pressed] {
            disconnect(Pressed);
            Button("CancelBtn")->click();
        });
        Extract();
        QVERIFY(Dlg->isVisible());
        QCOMPARE(Boxes->Texts, std::vector<std::string>{"Process aborted by user"});
        const auto Out = TreeOf(Dir / "out");
        QVERIFY(Out.size() < 24);
        // No partial file is left, and the archive can be extracted again.
        for (const auto& [Name, Data] : Out)
            QCOMPARE(Data, ReadFile(Dir / Name));
        if (!Out.empty())
            AnswerQuestions(QStringList(int(Out.size()), "YesBtn"));
        Extract();

        QCOMPARE(TreeOf(Dir / "out").size(), size_t(24));
        QVERIFY(Bar()->isHidden());

        // Idle, Cancel and Escape close the dialog with result 2 and close the archive.
        QSignalSpy Finished(Dlg.get(), &QDialog::finished);
        Button("CancelBtn")->click();
        QVERIFY(!Dlg->isVisible());
        QCOMPARE(Finished.value(0).value(0).toInt(), 2);
        QCOMPARE(Dlg->ZipOutline()->FileName(), std::string());
        Open(Dir / "t.zip", Dir / "out");
        QTest::keyClick(Dlg.get(), Qt::Key_Escape);
        QVERIFY(!Dlg->isVisible());
    }

    void DoubleClickOpensTheArchiveInTheDialog() {
        TScratchDir Dir;
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && echo x > f.txt && zip -q t.zip f.txt"), 0);
        WriteFile(Dir / "bad.zip", RandomBytes(500, 1));
        auto Form = ShowForm();
        QVERIFY(Form);
        Form->ExtractDlg = Dlg.get();
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText(QString::fromStdString(Dir.Path() + "/"));
        Form->ScannerContextFound(Dir / "t.zip", "f.txt", 0, 0);
        Form->ScannerContextFound(Dir / "bad.zip", "x", 0, 0);
        auto* Tree = Child<QTreeWidget>(Form.get(), "TreeView1");
        const auto DoubleClick = [Tree](QTreeWidgetItem* Node) {
            Tree->setCurrentItem(Node);
            emit Tree->itemDoubleClicked(Node, 0);
        };

        // An entry node does nothing.
        DoubleClick(Tree->topLevelItem(0)->child(0));
        QVERIFY(Dlg->isHidden());

        // First opening: the program's folder; an extraction that ran to its end is offered next time.
        fs::create_directories(Dir / "out");
        OnNextModal([&](QWidget* Modal) {
            QCOMPARE(Modal, static_cast<QWidget*>(Dlg.get()));
            QCOMPARE(Dlg->ArcFN()->text(), QString::fromStdString(Dir / "t.zip"));
            QCOMPARE(Dlg->ExtractPath()->currentText().toStdString(), ExcludeTrailingSlash(ProgramFolder()));
            Dlg->ExtractPath()->setEditText(QString::fromStdString(Dir / "out"));
            Extract();
            Button("CancelBtn")->click();
        });
        DoubleClick(Tree->topLevelItem(0));
        QVERIFY(fs::exists(Dir / "out/f.txt"));
        QCOMPARE(Dlg->ZipOutline()->FileName(), std::string());

        // Not an archive: shown as a plain file, no dialog.
        DoubleClick(Tree->topLevelItem(1));
        QCOMPARE(Child<QLabel>(Form.get(), "FNLabel")->text(), QString("bad.zip"));
        QVERIFY(Dlg->isHidden());

        // The folder used and the folder history are kept for the next run.
        Form->close();
        const TIniFile Ini(SettingsFile());
        QCOMPARE(Ini.ReadString("Options", "LastExtractPath", ""), Dir / "out");
        QCOMPARE(Ini.ReadString("ExtractPath", "ss0", ""), Dir / "out");
        std::remove(SettingsFile().c_str());
    }
};

QTEST_MAIN(ExtractDialogTest)
#include "ExtractDialogTest.moc"
