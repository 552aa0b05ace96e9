// Selecting a match shows its entry with the first occurrence selected: which entry, which rendering,
// Find Next through the occurrences, the temporary file's life, and bad entries answered with a message.

#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "platform/Files.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "ui/arcscanu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

using testutil::Child;

namespace {

const char NoMore[] = "No more occurances.";

// A form file in resource form: one TForm with a caption.
std::string SmallForm() {
    std::string Object = std::string("TPF0") + char(5) + "TForm" + char(5) + "Form1" + char(7) + "Caption" +
                         char(6) + char(2) + "Hi" + char(0) + char(0);
    return std::string("\xFF\x0A\x00", 3) + "FORM1" + '\0' + std::string("\x30\x10\0\0\0\0", 6) + Object;
}

} // namespace

class MatchDisplayTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testutil::TScratchDir> Tmp;
    std::unique_ptr<testutil::TScratchDir> Work;
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<testutil::TBoxAnswers> Boxes;
    std::unique_ptr<TForm1> Form;

    TRichEdit* Pane() { return Child<TRichEdit>(Form.get(), "RichEdit1"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    QString Selected() { return Pane()->textCursor().selectedText(); }

    // Writes the files (name, content) into Work/Archive with zip, keeping their folders.
    std::string MakeZip(const std::string& Archive,
                        const std::vector<std::pair<std::string, std::string>>& Files) {
        testutil::TScratchDir Src;
        std::string Names;
        for (const auto& [Name, Data] : Files) {
            testutil::Run("mkdir -p " + testutil::Quote(ExtractFilePath(Src / Name)));
            testutil::WriteFile(Src / Name, Data);
            Names += " " + testutil::Quote(Name);
        }
        const std::string Path = *Work / Archive;
        DeleteFile(Path);
        if (testutil::Run("cd " + testutil::Quote(Src.Path()) + " && zip -q -X " + testutil::Quote(Path) +
                          Names) != 0)
            qFatal("zip failed");
        return Path;
    }
    // Puts the match into the tree as a search would and selects its node.
    void Select(const std::string& ArcNode, const std::string& Entry, const QString& Text = "needle") {
        Child<QComboBox>(Form.get(), "SearchStr")->setEditText(Text);
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText(QString::fromStdString(Work->Path() + "/"));
        {
            // A match selects its node, which outside a search would show it already.
            const QSignalBlocker Quiet(Tree());
            Form->ScannerContextFound(Work->Path() + "/" + ArcNode, Entry, 0, 0);
            Tree()->clearSelection();
        }
        QTreeWidgetItem* Archive = Tree()->topLevelItem(Tree()->topLevelItemCount() - 1);
        Tree()->setCurrentItem(Archive->child(Archive->childCount() - 1));
    }
    void FindNext() { QTest::mouseClick(Button("FindNextBtn"), Qt::LeftButton); }

private slots:
    void initTestCase() {
        Tmp = std::make_unique<testutil::TScratchDir>();
        Work = std::make_unique<testutil::TScratchDir>();
        setenv("TMPDIR", Tmp->Path().c_str(), 1);
        Platform = std::make_unique<TQtPlatform>();
    }
    void cleanupTestCase() {
        Platform.reset();
        Work.reset();
        Tmp.reset();
    }
    void init() {
        Boxes = std::make_unique<testutil::TBoxAnswers>();
        Form = testutil::ShowForm();
        QVERIFY(Form);
    }
    void cleanup() {
        Form.reset();
        Boxes.reset();
    }

    // Each extension's rendering, and the upper-cased archive node found on a case-sensitive disk.
    void Renderings() {
        const std::string Rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Serif;}}\\f0 plain {\\b needle} end\\par}";
        MakeZip("docs.zip", {{"code.c", "int a;\r\n\tneedle();\n"},
                             {"Readme.RTF", Rtf},
                             {"notes.txt", "line one\r\nthe needle\r\n"},
                             {"form1.dfm", SmallForm()},
                             {"page.htm", "<p>\nneedle</p>"}});
        Select("DOCS.ZIP", "code.c");
        QCOMPARE(Pane()->toPlainText(), QString("int a;...needle();."));
        QCOMPARE(Selected(), QString("needle"));
        QCOMPARE(Child<QLabel>(Form.get(), "FNLabel")->text(), QString("code.c"));
        QVERIFY(Button("FindNextBtn")->isEnabled() && Button("ViewerBtn")->isEnabled());
        Select("DOCS.ZIP", "page.htm");
        QCOMPARE(Pane()->toPlainText(), QString("<p>.needle</p>"));

        Select("DOCS.ZIP", "Readme.RTF");
        QCOMPARE(Pane()->toPlainText(), QString("plain needle end\n"));
        QCOMPARE(Selected(), QString("needle"));
        QVERIFY(Pane()->textCursor().charFormat().fontWeight() >= QFont::Bold);

        Select("DOCS.ZIP", "notes.txt");
        QCOMPARE(Pane()->toPlainText(), QString("line one\nthe needle\n"));
        QCOMPARE(Pane()->SelStart(), 13);

        Select("DOCS.ZIP", "form1.dfm", "Caption");
        QCOMPARE(Pane()->toPlainText(), QString("object Form1: TForm\n  Caption = 'Hi'\nend\n"));
        QCOMPARE(Selected(), QString("Caption"));
        QVERIFY(Boxes->Texts.empty());
    }

    // Two entries share a bare name: the selected one is shown, under that bare name.
    void SameBareNameInTwoFolders() {
        MakeZip("two.zip", {{"a/x.pas", "from a: needle"}, {"b/x.pas", "from b: needle"}});
        Select("TWO.ZIP", "b/x.pas");
        QCOMPARE(Pane()->toPlainText(), QString("from b: needle"));
        QCOMPARE(QString::fromStdString(ExtractFileName(Form->LastTempFile())), QString("x.pas"));
    }

    // The first search after a load starts one character in; the last occurrence stays selected after it.
    void FindNextSteps() {
        MakeZip("steps.zip", {{"zero.txt", "needle, then needle and needle"}, {"once.txt", "needle only"}});
        Select("STEPS.ZIP", "zero.txt");
        QCOMPARE(Pane()->SelStart(), 13);
        FindNext();
        QCOMPARE(Pane()->SelStart(), 24);
        QCOMPARE(Pane()->SelLength(), 6);
        QVERIFY(Boxes->Texts.empty());
        FindNext();
        QCOMPARE(Boxes->Texts, std::vector<std::string>{NoMore});
        QCOMPARE(Pane()->SelStart(), 24);
        QCOMPARE(Pane()->SelLength(), 6);

        Boxes->Texts.clear();
        Select("STEPS.ZIP", "once.txt");
        QCOMPARE(Boxes->Texts, std::vector<std::string>{NoMore});
        QCOMPARE(Pane()->SelLength(), 0);

        // Case follows the check box.
        Boxes->Texts.clear();
        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(true);
        Select("STEPS.ZIP", "zero.txt", "NEEDLE");
        QCOMPARE(Boxes->Texts, std::vector<std::string>{NoMore});
        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(false);

        Boxes->Texts.clear();
        Child<QCheckBox>(Form.get(), "NamesOnlyChk")->setChecked(true);
        Select("STEPS.ZIP", "zero.txt");
        QCOMPARE(Pane()->toPlainText(), QString("needle, then needle and needle"));
        QCOMPARE(Pane()->SelLength(), 0);
        FindNext();
        QVERIFY(Boxes->Texts.empty());
    }

    // Another entry replaces the temporary file; the same entry again keeps it. The folder is the user's own.
    void TemporaryFiles() {
        MakeZip("tmp.zip", {{"one.txt", "needle 1"}, {"two.txt", "needle 2"}});
        Select("TMP.ZIP", "one.txt");
        const std::string First = Form->LastTempFile();
        QVERIFY(FileExists(First));
        const std::string Folder = ExtractFilePath(First);
        QCOMPARE(QString::fromStdString(Folder),
                 QString::fromStdString(*Tmp / "tarnlet-" + std::to_string(geteuid()) + "/"));
        struct stat St;
        QVERIFY(lstat(ExcludeTrailingSlash(Folder).c_str(), &St) == 0 && S_ISDIR(St.st_mode));
        QCOMPARE(St.st_mode & 0777, 0700u);

        Select("TMP.ZIP", "one.txt");
        QCOMPARE(Form->LastTempFile(), First);
        QVERIFY(FileExists(First));
        Select("TMP.ZIP", "two.txt");
        QVERIFY(!FileExists(First));
        QVERIFY(FileExists(Form->LastTempFile()));
        QCOMPARE(Pane()->toPlainText(), QString("needle 2"));

        // A plain file is shown as it is; the extracted file stays the one to launch or zoom.
        const std::string Plain = *Work / "loose.txt";
        testutil::WriteFile(Plain, "loose needle");
        Form->ShowPlainFile(Plain);
        QCOMPARE(Pane()->toPlainText(), QString("loose needle"));
        QVERIFY(FileExists(Form->LastTempFile()));
    }

    // Launch follows the desktop's association of the shown file's type.
    void LaunchEnabling() {
        MakeZip("launch.zip", {{"a.txt", "needle"}, {"b.zzqq", std::string("\x01\x02needle", 8)}});
        Select("LAUNCH.ZIP", "a.txt");
        QVERIFY(Button("LaunchBtn")->isEnabled());
        QCOMPARE(Form->AssociatedProgram(), QString("tarnlet-test-viewer.desktop"));
        Select("LAUNCH.ZIP", "b.zzqq");
        QVERIFY(!Button("LaunchBtn")->isEnabled());
    }

    // Damaged content gives a message and leaves the window usable; nothing stale stands in for an entry
    // that cannot be extracted.
    void BadEntries() {
        std::string BadForm = SmallForm();
        BadForm[0] = 'X';
        std::string Deep(2000, '{');
        const std::string Path = MakeZip("bad.zip", {{"bad.dfm", BadForm},
                                                     {"cut.dfm", SmallForm().substr(0, 30)},
                                                     {"deep.rtf", "{\\rtf1" + Deep},
                                                     {"ok.txt", "a needle"}});
        Select("BAD.ZIP", "bad.dfm");
        QCOMPARE(Boxes->Texts, std::vector<std::string>{"Invalid stream format"});
        Boxes->Texts.clear();
        Select("BAD.ZIP", "cut.dfm");
        QCOMPARE(Boxes->Texts.size(), size_t(1));
        Boxes->Texts.clear();
        Select("BAD.ZIP", "deep.rtf");
        QCOMPARE(Boxes->Texts.size(), size_t(1));
        QVERIFY(Pane()->toPlainText().isEmpty());

        // An entry that fails its check after a good one of the same name was shown from another archive.
        Boxes->Texts.clear();
        Select("BAD.ZIP", "ok.txt");
        QCOMPARE(Pane()->toPlainText(), QString("a needle"));
        MakeZip("crc.zip", {{"ok.txt", "a needle"}});
        std::string Bytes = testutil::ReadFile(*Work / "crc.zip");
        Bytes[Bytes.find("needle")] = 'N';
        testutil::WriteFile(*Work / "crc.zip", Bytes);
        Select("CRC.ZIP", "ok.txt");
        QCOMPARE(Boxes->Texts.size(), size_t(1));
        QVERIFY(Pane()->toPlainText().isEmpty());
        QVERIFY(!FileExists(Form->LastTempFile()));

        // An archive that is gone shows nothing and says nothing.
        Boxes->Texts.clear();
        DeleteFile(Path);
        Select("BAD.ZIP", "ok.txt");
        QVERIFY(Boxes->Texts.empty());
        QVERIFY(Button("GoBtn")->isVisible());
    }
};

// The desktop's associations are read once per process, so the test's own is set up before anything
// runs: plain text opens with a test application.
int main(int argc, char** argv) {
    testutil::TScratchDir Desktop;
    testutil::Run("mkdir -p " + testutil::Quote(Desktop / "data/applications") + " " +
                  testutil::Quote(Desktop / "config"));
    testutil::WriteFile(
        Desktop / "data/applications/tarnlet-test-viewer.desktop",
        "[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %f\nMimeType=text/plain;\n");
    testutil::WriteFile(Desktop / "config/mimeapps.list",
                        "[Default Applications]\ntext/plain=tarnlet-test-viewer.desktop\n");
    setenv("XDG_DATA_HOME", (Desktop / "data").c_str(), 1);
    // The system's folders stay for the type database.
    setenv("XDG_DATA_DIRS", (Desktop / "data:/usr/local/share:/usr/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Desktop / "config").c_str(), 1);
    QApplication App(argc, argv);
    MatchDisplayTest Test;
    return QTest::qExec(&Test, argc, argv);
}
#include "MatchDisplayTest.moc"
