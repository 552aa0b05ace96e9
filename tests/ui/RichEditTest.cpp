// The rich edit: rich text in and out through Qt's document, finding text in a range, plain text as
// stored, loads that fail leaving the content alone, and the redraw freeze.

#include "ui/RichEdit.h"
#include "common/RtfRecorder.h"
#include "common/TestUtil.h"
#include "common/TextFixtures.h"
#include "platform/SysUtils.h"

#include <QTest>

using testutil::TextFixture;

class RichEditTest : public QObject {
    Q_OBJECT

private slots:
    // What the reader makes of a document survives the trip through the editor and back to RTF.
    void RichTextThroughTheDocument() {
        TRichEdit Edit;
        for (const std::string& Rtf :
             {TextFixture("sample-html.rtf"), TextFixture("sample-txt.rtf"),
              std::string(
                  "{\\rtf1{\\fonttbl{\\f0 Serif;}}\\f0\\fs30 a\\line b\\tab c\\par\\pard\\qc{\\b d}\\par\\qr "
                  "e\\par\\qj f}")}) {
            const testutil::TRecorder Want = testutil::ReadRecorded(Rtf);
            Edit.StreamIn(Rtf);
            const testutil::TRecorder Got = testutil::ReadRecorded(Edit.RtfText());
            QVERIFY(Got.Events == Want.Events);
            QVERIFY(Got.Last == Want.Last);
            QVERIFY(!Edit.Modified());
            QVERIFY(!Edit.CanUndo());
        }
        // In plain-text mode the same document is its own characters.
        Edit.SetPlainText(true);
        Edit.StreamIn("{\\rtf1 x}");
        QCOMPARE(Edit.toPlainText(), QString("{\\rtf1 x}"));
    }

    void PlainTextAsStored() {
        TRichEdit Edit;
        Edit.SetPlainText(true);
        Edit.StreamIn("a\r\nb\rc\n\xC3\xA9");
        QCOMPARE(Edit.toPlainText(), QString("a\nb\nc\n\u00E9"));
        // Not UTF-8: one character per byte, none lost.
        Edit.StreamIn("caf\xE9");
        QCOMPARE(Edit.toPlainText(), QString("caf\u00E9"));
        // A rich-text load that is not RTF is shown as text.
        Edit.SetPlainText(false);
        Edit.StreamIn("just text");
        QCOMPARE(Edit.toPlainText(), QString("just text"));
    }

    void FindInRange() {
        TRichEdit Edit;
        Edit.StreamIn("abcABCabc");
        QCOMPARE(Edit.FindText("abc", 0, 9, true), 0);
        QCOMPARE(Edit.FindText("abc", 1, 8, true), 6);
        QCOMPARE(Edit.FindText("abc", 1, 8, false), 3);
        QCOMPARE(Edit.FindText("abc", 1, 7, true), -1); // would end past the range
        QCOMPARE(Edit.FindText("abc", 7, 10, true), -1);
        QCOMPARE(Edit.FindText("", 0, 9, true), -1);
        Edit.SetSelStart(3);
        Edit.SetSelLength(100);
        QCOMPARE(Edit.SelStart(), 3);
        QCOMPARE(Edit.SelLength(), 6);
        Edit.SetSelStart(-5);
        QCOMPARE(Edit.SelStart(), 0);
        QCOMPARE(Edit.SelLength(), 0);
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
            bool Raised = false;
            try {
                Edit.LoadFromFile(QString::fromStdString(Dir / Name));
            } catch (const std::exception&) {
                Raised = true;
            }
            QVERIFY(Raised);
            QCOMPARE(Edit.toPlainText(), QString("kept words"));
        }
        const QString Saved = QString::fromStdString(Dir / "saved.rtf");
        Edit.SaveToFile(Saved);
        TRichEdit Other;
        Other.LoadFromFile(Saved);
        QVERIFY(testutil::ReadRecorded(Other.RtfText()).Events ==
                testutil::ReadRecorded(Edit.RtfText()).Events);
        Edit.SetPlainText(true);
        Edit.SaveToFile(Saved);
        QCOMPARE(QString::fromStdString(testutil::ReadFile(Dir / "saved.rtf")), QString("kept words"));
    }

    void FreezeNests() {
        TRichEdit Edit;
        {
            TUpdateLock Outer(&Edit);
            { TUpdateLock Inner(&Edit); }
            QVERIFY(!Edit.updatesEnabled());
        }
        QVERIFY(Edit.updatesEnabled());
    }
};

QTEST_MAIN(RichEditTest)
#include "RichEditTest.moc"
