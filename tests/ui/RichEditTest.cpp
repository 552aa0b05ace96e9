// The rich edit: rich text through Qt's document and back, plain text as stored, finding in a range, loads
// that fail leaving the content alone; plain text laid out only where it is shown, long blocks by our own
// line breaking: the pane scrolls, draws, hits and moves by keys as Qt's own layout of a copy does, through
// edits and width changes, while little is laid out.

#include "ui/RichEdit.h"
#include "common/RtfRecorder.h"
#include "common/TestUtil.h"
#include "common/TextFixtures.h"
#include "ui/PlainTextLayout.h"

#include <QTest>
#include <QtWidgets>
#include <random>

using testutil::ReadRecorded;

namespace {

// Lines of varied length: short ones, long ones that wrap, empty ones.
std::string SampleLines(int Count) {
    std::string Text;
    for (int I = 0; I < Count; ++I) {
        Text += "line " + std::to_string(I) + std::string(size_t(I % 7 == 0 ? 300 : I % 5), 'x');
        if (I % 11 == 0)
            Text += " with words to wrap at the pane's width and some more words";
        Text += I % 13 == 0 ? "\n\n" : "\n";
    }
    return Text;
}

// Printable ASCII as the dotted rendering of random bytes gives it, or words, or numbers with their signs.
QString LongText(int Kind, int Size) {
    std::mt19937 Random{unsigned(Kind)};
    QString Text(Size, u'.');
    for (QChar& C : Text) {
        const unsigned B = Random() % 256;
        C = QChar(Kind == 0   ? (B < 32 || B > 126 ? '.' : char(B))
                  : Kind == 1 ? " abcdefghij.,-"[B % 14]
                              : "0123456789 ,./-+$%()[]{}<=>~a"[B % 29]);
    }
    return Text;
}

TPlainTextLayout* Lazy(TRichEdit& Edit) {
    return qobject_cast<TPlainTextLayout*>(Edit.document()->documentLayout());
}

// A copy of the edit's document under Qt's own layout, the blocks ours lays out as long ones unshaped as
// ours does.
QTextDocument* Copy(TRichEdit& Edit, QObject* Parent) {
    QTextDocument* Copy = Edit.document()->clone(Parent);
    for (QTextBlock B = Edit.document()->begin(); B.isValid(); B = B.next())
        if (Lazy(Edit)->CursorRect(B.position()).isValid()) {
            QTextCursor Long(Copy->findBlockByNumber(B.blockNumber()));
            Long.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            QTextCharFormat NoShaping;
            NoShaping.setFontStyleStrategy(TLongLineBreaker::NoShaping(Copy->defaultFont()).styleStrategy());
            Long.mergeCharFormat(NoShaping);
        }
    return Copy;
}

// Every block's extent, and the document's height, against Qt's own layout of a copy.
void CompareWithFullLayout(TRichEdit& Edit) {
    QTextDocument* Document = Edit.document();
    QTextDocument* Theirs = Copy(Edit, &Edit);
    Theirs->setPageSize(Document->pageSize());
    for (QTextBlock B = Document->begin(), C = Theirs->begin(); B.isValid(); B = B.next(), C = C.next()) {
        const QRectF Mine = Document->documentLayout()->blockBoundingRect(B);
        const QRectF Want = Theirs->documentLayout()->blockBoundingRect(C);
        QVERIFY(qAbs(Mine.top() - Want.top()) < 1 && qAbs(Mine.height() - Want.height()) < 1);
    }
    QVERIFY(qAbs(Document->documentLayout()->documentSize().height() -
                 Theirs->documentLayout()->documentSize().height()) < 1);
}

// The selection shows; Qt's own layout of a copy, scrolled to show it at the same place, looks the same
// where a long block shows (other blocks may stand a fraction of a pixel apart), is hit at the same
// positions there and moves the same by keys.
void CompareWithQt(TRichEdit& Edit) {
    QTextEdit Theirs;
    Theirs.setLineWrapMode(Edit.lineWrapMode());
    Theirs.resize(Edit.size());
    Theirs.show();
    Theirs.setDocument(Copy(Edit, &Theirs));
    // Copying lays out every block, so the estimated heights above the cursor are now exact.
    Edit.ensureCursorVisible();
    const QRectF Long = Lazy(Edit)->CursorRect(Edit.textCursor().position());
    const QPoint Caret = Long.isValid() ? Long.translated(-Edit.horizontalScrollBar()->value(),
                                                          -Edit.verticalScrollBar()->value())
                                              .toRect()
                                              .topLeft()
                                        : Edit.cursorRect().topLeft();
    QVERIFY(Edit.viewport()->rect().contains(Caret));
    QTextCursor C(Theirs.document());
    C.setPosition(Edit.textCursor().anchor());
    C.setPosition(Edit.textCursor().position(), QTextCursor::KeepAnchor);
    Theirs.setTextCursor(C);
    Theirs.verticalScrollBar()->setValue(Theirs.verticalScrollBar()->value() + Theirs.cursorRect().y() -
                                         Caret.y());
    Theirs.horizontalScrollBar()->setValue(Theirs.horizontalScrollBar()->value() + Theirs.cursorRect().x() -
                                           Caret.x());
    QCOMPARE(Theirs.cursorRect().topLeft(), Caret);
    if (Long.isValid()) {
        // Without focus neither draws a blinking cursor.
        Edit.clearFocus();
        Theirs.clearFocus();
        const QImage Mine = Edit.viewport()->grab().toImage(), Want = Theirs.viewport()->grab().toImage();
        const QRect Band =
            Lazy(Edit)
                ->blockBoundingRect(Edit.textCursor().block())
                .translated(-Edit.horizontalScrollBar()->value(), -Edit.verticalScrollBar()->value())
                .toAlignedRect() &
            Mine.rect();
        int Differ = 0;
        for (int Y = Band.top(); Y <= Band.bottom(); ++Y)
            for (int X = 0; X < Want.width(); ++X)
                Differ += Mine.pixel(X, Y) != Want.pixel(X, Y);
        QVERIFY2(Differ <= 20, "more than a selection's edge rounded to the next pixel");
        for (const QPoint At : {QPoint(5, 30), QPoint(150, 100), QPoint(380, 150), Caret + QPoint(0, 3)})
            QCOMPARE(Edit.cursorForPosition(At).position(), Theirs.cursorForPosition(At).position());
    }
    for (const Qt::Key Key : {Qt::Key_Home, Qt::Key_Up, Qt::Key_End, Qt::Key_Right}) {
        QTest::keyClick(&Edit, Key);
        QTest::keyClick(&Theirs, Key);
        QCOMPARE(Edit.textCursor().position(), Theirs.textCursor().position());
    }
}

} // namespace

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
        QVERIFY(!Lazy(Edit)); // rich text keeps the document's own layout, which knows paragraph formats
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
        QVERIFY(Lazy(Edit));
        Edit.SetPlainText(false);
        Edit.StreamIn("{\\rtf1\\qc centred}");
        QVERIFY(!Lazy(Edit));
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

    // Our own line breaking of long blocks against Qt's layout of the same text.
    void LongLinesBrokenAsQtBreaksThem() {
        for (QFont Font : {QFont(), QFontDatabase::systemFont(QFontDatabase::FixedFont)})
            for (int Kind : {0, 1, 2})
                for (qreal Width : {20.0, 211.3, 640.0}) {
                    Font = TLongLineBreaker::NoShaping(Font);
                    const QString Text = LongText(Kind, 30000);
                    QTextLayout Layout(Text, Font);
                    QTextOption Option;
                    Option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
                    Layout.setTextOption(Option);
                    Layout.beginLayout();
                    std::vector<int> Want;
                    for (QTextLine L = Layout.createLine(); L.isValid(); L = Layout.createLine()) {
                        L.setLineWidth(Width);
                        Want.push_back(L.textStart());
                    }
                    Layout.endLayout();
                    QVERIFY(TLongLineBreaker(Font).LineStarts(Text, Width) == Want);
                }
    }

    // A selection deep in many lines, or in a long block (never laid out whole), wrapped or not.
    void ShownAsQtShowsIt() {
        for (const auto Wrap : {QTextEdit::WidgetWidth, QTextEdit::NoWrap})
            for (const bool Long : {false, true}) {
                TRichEdit Edit;
                Edit.setLineWrapMode(Wrap);
                Edit.resize(400, 300);
                Edit.show();
                Edit.SetPlainText(true);
                Edit.StreamIn(Long ? "head\n" + LongText(0, 300000).toStdString() + "\ntail"
                                   : SampleLines(20000));
                Edit.SetSelStart(250000);
                Edit.SetSelLength(6);
                QVERIFY(Lazy(Edit)->LaidOutCount() < 100);
                QVERIFY(!Long || Edit.textCursor().block().layout()->lineCount() == 0);
                CompareWithQt(Edit);
            }
    }

    // Inserting and removing lines and characters, and a width change.
    void Edits() {
        TRichEdit Edit;
        Edit.resize(400, 300);
        Edit.show();
        Edit.SetPlainText(true);
        Edit.StreamIn(SampleLines(300) + LongText(1, 20000).toStdString());
        for (QTextBlock B = Edit.document()->begin(); B.isValid(); B = B.next())
            Edit.document()->documentLayout()->blockBoundingRect(B);
        QTextCursor C(Edit.document());
        C.setPosition(500);
        C.insertText("new\nlines\nhere and a long one " + QString(200, 'y'));
        C.setPosition(2000);
        C.setPosition(4000, QTextCursor::KeepAnchor);
        C.removeSelectedText();
        C.movePosition(QTextCursor::End);
        C.insertText(LongText(2, 15000) + "\ntail");
        Edit.SetSelStart(Edit.TextLength() - 12000);
        CompareWithFullLayout(Edit);
        CompareWithQt(Edit);
        Edit.resize(500, 200);
        QApplication::processEvents();
        C.setPosition(10);
        C.insertText("\n");
        C.movePosition(QTextCursor::End);
        C.movePosition(QTextCursor::PreviousBlock);
        C.insertText("x y ");
        Edit.SetSelStart(20);
        CompareWithFullLayout(Edit);
        CompareWithQt(Edit);
    }
};

QTEST_MAIN(RichEditTest)
#include "RichEditTest.moc"
