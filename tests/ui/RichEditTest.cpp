// The rich edit: rich text through Qt's document and back, plain text as stored, finding in a range, and
// loads that fail leaving the content alone.

#include "ui/RichEdit.h"
#include "common/RtfRecorder.h"
#include "common/TestUtil.h"
#include "common/TextFixtures.h"

#include <QTest>

using testutil::ReadRecorded;

class RichEditTest : public QObject {
    Q_OBJECT

private slots:
    // What the reader makes of a document survives the editor and the writer; plain text is as stored.
    void RichAndPlainText() {
        TRichEdit Edit;
        for (const std::string& Rtf :
             {testutil::TextFixture("sample-html.rtf"),
              std::string("{\\rtf1{\\fonttbl{\\f0 Serif;}}\\f0\\fs30 a\\line b\\tab c\\par\\pard\\qc{\\b d}"
                          "\\par\\qr e\\par\\qj f}")}) {
            const testutil::TRecorder Want = ReadRecorded(Rtf);
            Edit.StreamIn(Rtf);
            const testutil::TRecorder Got = ReadRecorded(Edit.RtfText());
            QVERIFY(Got.Events == Want.Events && Got.Last == Want.Last);
            QVERIFY(!Edit.Modified() && !Edit.CanUndo());
        }
        Edit.StreamIn("just text"); // not RTF: shown as text
        QCOMPARE(Edit.toPlainText(), QString("just text"));
        Edit.SetPlainText(true);
        const std::pair<const char*, QString> Plain[] = {{"{\\rtf1 x}", "{\\rtf1 x}"},
                                                         {"a\r\nb\rc\n\xC3\xA9", "a\nb\nc\n\u00E9"},
                                                         {"caf\xE9", "caf\u00E9"}}; // not UTF-8: a byte each
        for (const auto& [In, Want] : Plain) {
            Edit.StreamIn(In);
            QCOMPARE(Edit.toPlainText(), Want);
        }
    }

    void FindInRange() {
        TRichEdit Edit;
        Edit.StreamIn("abcABCabc");
        const struct {
            const char* What;
            int Start, Length;
            bool Case;
            int Want;
        } Cases[] = {{"abc", 0, 9, true, 0},  {"abc", 1, 8, true, 6},   {"abc", 1, 8, false, 3},
                     {"abc", 1, 7, true, -1}, {"abc", 7, 10, true, -1}, {"", 0, 9, true, -1}};
        for (const auto& C : Cases)
            QCOMPARE(Edit.FindText(C.What, C.Start, C.Length, C.Case), C.Want);
        Edit.SetSelStart(3);
        Edit.SetSelLength(100);
        QCOMPARE(std::pair(Edit.SelStart(), Edit.SelLength()), std::pair(3, 6));
    }

    // A failed load raises and leaves what was shown; saving writes what a load reads back.
    void LoadAndSave() {
        testutil::TScratchDir Dir;
        TRichEdit Edit;
        Edit.StreamIn("{\\rtf1 kept {\\i words}}");
        testutil::WriteFile(Dir / "bad.rtf", "{\\rtf1 {unclosed");
        testutil::WriteFile(Dir / "bad.dfm", "not a form");
        RegisterDisplayConversions();
        for (const char* Name : {"bad.rtf", "bad.dfm", "missing.txt"}) {
            QVERIFY_THROWS_EXCEPTION(std::exception, Edit.LoadFromFile(QString::fromStdString(Dir / Name)));
            QCOMPARE(Edit.toPlainText(), QString("kept words"));
        }
        const QString Saved = QString::fromStdString(Dir / "saved.rtf");
        Edit.SaveToFile(Saved);
        TRichEdit Other;
        Other.LoadFromFile(Saved);
        QVERIFY(ReadRecorded(Other.RtfText()).Events == ReadRecorded(Edit.RtfText()).Events);
    }
};

QTEST_MAIN(RichEditTest)
#include "RichEditTest.moc"
