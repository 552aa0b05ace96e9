// Selecting a match shows its entry with the first occurrence selected: which entry, which rendering,
// Find Next through the occurrences, the temporary file's life, and bad entries answered with a message.

#include "common/QtTestUtil.h"
#include "platform/Files.h"
#include "ui/QtPlatform.h"
#include "ui/RichEdit.h"
#include "ui/arcscanu.h"

#include <QtWidgets>
#include <cstdlib>
#include <unistd.h>

using testutil::Child;
using Texts = std::vector<std::string>;

namespace {

const char NoMore[] = "No more occurances.";

// A form file in resource form: one TForm with a caption.
std::string SmallForm() {
    return std::string("\xFF\x0A\x00", 3) + "FORM1" + '\0' + std::string("\x30\x10\0\0\0\0", 6) + "TPF0" +
           char(5) + "TForm" + char(5) + "Form1" + char(7) + "Caption" + char(6) + char(2) + "Hi" +
           std::string(2, '\0');
}

} // namespace

class MatchDisplayTest : public QObject {
    Q_OBJECT

private:
    testutil::TScratchDir Tmp, Work;
    std::unique_ptr<TQtPlatform> Platform;
    std::unique_ptr<testutil::TBoxAnswers> Boxes;
    std::unique_ptr<TForm1> Form;

    TRichEdit* Pane() { return Child<TRichEdit>(Form.get(), "RichEdit1"); }
    QPushButton* Button(const char* Name) { return Child<QPushButton>(Form.get(), Name); }
    QTreeWidget* Tree() { return Child<QTreeWidget>(Form.get(), "TreeView1"); }
    std::tuple<QString, int, int> Shown() {
        return {Pane()->toPlainText(), Pane()->SelStart(), Pane()->SelLength()};
    }

    std::string MakeZip(const std::string& Archive, const testutil::TFiles& Files) {
        return testutil::MakeZip(Work / Archive, Files);
    }
    // Puts the match into the tree as a search would and selects its node.
    void Select(const std::string& ArcNode, const std::string& Entry, const QString& Text = "needle") {
        Child<QComboBox>(Form.get(), "SearchStr")->setEditText(Text);
        Child<QComboBox>(Form.get(), "SearchPath")->setEditText(QString::fromStdString(Work.Path() + "/"));
        {
            // A match selects its node, which outside a search would show it already.
            const QSignalBlocker Quiet(Tree());
            Form->ScannerContextFound(Work.Path() + "/" + ArcNode, Entry, 0, 0);
            Tree()->clearSelection();
        }
        QTreeWidgetItem* Archive = Tree()->topLevelItem(Tree()->topLevelItemCount() - 1);
        Tree()->setCurrentItem(Archive->child(Archive->childCount() - 1));
        QVERIFY(Pane()->updatesEnabled());
    }
    void FindNext() { QTest::mouseClick(Button("FindNextBtn"), Qt::LeftButton); }

private slots:
    void initTestCase() {
        setenv("TMPDIR", Tmp.Path().c_str(), 1);
        Platform = std::make_unique<TQtPlatform>();
    }
    void init() {
        Form.reset();
        Boxes.reset();
        Boxes = std::make_unique<testutil::TBoxAnswers>();
        Form = testutil::ShowForm();
        QVERIFY(Form);
    }

    // Each extension's rendering (unknown ones dotted), and the upper-cased archive node found on a
    // case-sensitive disk.
    void Renderings() {
        MakeZip("docs.zip",
                {{"code.c", "int a;\r\n\tneedle();\n"},
                 {"Readme.RTF", "{\\rtf1\\ansi{\\fonttbl{\\f0 Serif;}}\\f0 plain {\\b needle} end\\par}"},
                 {"notes.txt", "line one\r\nthe needle\r\n"},
                 {"form1.dfm", SmallForm()},
                 {"page.htm", "<p>\nneedle</p>"},
                 {"b.zzqq", std::string("\x01\x02needle", 8)}});
        const struct {
            const char* Entry;
            const char* Text;
            int Start;
            const char* Find = "needle";
        } Cases[] = {{"code.c", "int a;...needle();.", 9},
                     {"page.htm", "<p>.needle</p>", 4},
                     {"Readme.RTF", "plain needle end\n", 6},
                     {"form1.dfm", "object Form1: TForm\n  Caption = 'Hi'\nend\n", 22, "Caption"},
                     {"notes.txt", "line one\nthe needle\n", 13},
                     {"b.zzqq", "..needle", 2}};
        for (const auto& C : Cases) {
            Select("DOCS.ZIP", C.Entry, C.Find);
            QCOMPARE(Shown(), std::tuple(QString(C.Text), C.Start, int(strlen(C.Find))));
            QCOMPARE(Child<QLabel>(Form.get(), "FNLabel")->text(), QString(C.Entry));
        }
        Select("DOCS.ZIP", "Readme.RTF");
        QVERIFY(Pane()->textCursor().charFormat().fontWeight() >= QFont::Bold);
        QVERIFY(Boxes->Texts.empty());
    }

    // The first search after a load starts one character in; the last occurrence stays selected after it.
    void FindNextSteps() {
        MakeZip("steps.zip", {{"zero.txt", "needle, then needle and needle"}, {"once.txt", "needle only"}});
        Select("STEPS.ZIP", "zero.txt");
        QCOMPARE(Pane()->SelStart(), 13);
        FindNext();
        QCOMPARE(std::pair(Pane()->SelStart(), Pane()->SelLength()), std::pair(24, 6));
        QVERIFY(Boxes->Texts.empty());
        FindNext();
        QCOMPARE(Boxes->Texts, Texts{NoMore});
        QCOMPARE(std::pair(Pane()->SelStart(), Pane()->SelLength()), std::pair(24, 6));
        Select("STEPS.ZIP", "once.txt");
        QCOMPARE(Pane()->SelLength(), 0);
        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(true); // case follows the check box
        Select("STEPS.ZIP", "zero.txt", "NEEDLE");
        QCOMPARE(Boxes->Texts, (Texts{NoMore, NoMore, NoMore}));
        Child<QCheckBox>(Form.get(), "CaseChk")->setChecked(false);
        Child<QCheckBox>(Form.get(), "NamesOnlyChk")->setChecked(true);
        Select("STEPS.ZIP", "zero.txt");
        QCOMPARE(Shown(), std::tuple(QString("needle, then needle and needle"), 0, 0));
        FindNext();
        QCOMPARE(Boxes->Texts.size(), size_t(3));
    }

    // Another entry replaces the temporary file, the same entry again keeps it, two entries of one bare
    // name are told apart; the folder is the user's own.
    void TemporaryFiles() {
        MakeZip("tmp.zip", {{"a/one.txt", "needle 1"}, {"b/one.txt", "needle b"}, {"two.txt", "needle 2"}});
        Select("TMP.ZIP", "a/one.txt");
        const std::string First = Form->LastTempFile();
        QCOMPARE(First, Tmp / "tarnlet-" + std::to_string(geteuid()) + "/one.txt");
        Select("TMP.ZIP", "b/one.txt");
        QCOMPARE(Pane()->toPlainText(), QString("needle b"));
        QCOMPARE(Form->LastTempFile(), First);
        Select("TMP.ZIP", "two.txt");
        QVERIFY(!FileExists(First) && FileExists(Form->LastTempFile()));
        QCOMPARE(Pane()->toPlainText(), QString("needle 2"));
    }

    // Damaged content gives a message and leaves the window usable; nothing stale stands in for an entry
    // that cannot be extracted.
    void BadEntries() {
        std::string BadForm = SmallForm();
        BadForm[0] = 'X';
        const std::string Path = MakeZip("bad.zip", {{"bad.dfm", BadForm},
                                                     {"cut.dfm", SmallForm().substr(0, 30)},
                                                     {"deep.rtf", "{\\rtf1" + std::string(2000, '{')},
                                                     {"ok.txt", "a needle"}});
        Select("BAD.ZIP", "bad.dfm");
        QCOMPARE(Boxes->Texts, Texts{"Invalid stream format"});
        for (const char* Entry : {"cut.dfm", "deep.rtf"})
            Select("BAD.ZIP", Entry);
        QCOMPARE(Boxes->Texts.size(), size_t(3));
        QVERIFY(Pane()->toPlainText().isEmpty());

        // An entry that fails its check after a good one of the same name was shown from another archive.
        Select("BAD.ZIP", "ok.txt");
        QCOMPARE(Pane()->toPlainText(), QString("a needle"));
        MakeZip("crc.zip", {{"ok.txt", "a needle"}});
        std::string Bytes = testutil::ReadFile(Work / "crc.zip");
        Bytes[Bytes.find("needle")] = 'N';
        testutil::WriteFile(Work / "crc.zip", Bytes);
        Select("CRC.ZIP", "ok.txt");
        QCOMPARE(Boxes->Texts.size(), size_t(4));
        QVERIFY(Pane()->toPlainText().isEmpty() && !FileExists(Form->LastTempFile()));

        // An archive that is gone shows nothing and says nothing.
        DeleteFile(Path);
        Select("BAD.ZIP", "ok.txt");
        QCOMPARE(Boxes->Texts.size(), size_t(4));
        QVERIFY(Button("GoBtn")->isVisible());
    }
};

QTEST_MAIN(MatchDisplayTest)
#include "MatchDisplayTest.moc"
