// Plain text laid out only where it is shown: a line deep in a large text is selected and shown with
// few blocks laid out; the lines stand where the document's own layout puts them, through edits and a
// width change, and positions, hits and cursor rectangles agree.

#include "ui/PlainTextLayout.h"
#include "ui/RichEdit.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <string>

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

TPlainTextLayout* Lazy(TRichEdit& Edit) {
    return qobject_cast<TPlainTextLayout*>(Edit.document()->documentLayout());
}

// Every block's top and line count, and the height, against the document's own layout of a copy.
void CompareWithFullLayout(TRichEdit& Edit) {
    QTextDocument* Document = Edit.document();
    std::unique_ptr<QTextDocument> Copy(Document->clone());
    Copy->setPageSize(Document->pageSize());
    Copy->setDefaultFont(Document->defaultFont());
    for (QTextBlock B = Document->begin(), C = Copy->begin(); B.isValid(); B = B.next(), C = C.next()) {
        const QRectF Mine = Document->documentLayout()->blockBoundingRect(B);
        QVERIFY(qAbs(Mine.top() - Copy->documentLayout()->blockBoundingRect(C).top()) < 1);
        QCOMPARE(B.layout()->lineCount(), C.layout()->lineCount());
    }
    QVERIFY(qAbs(Document->documentLayout()->documentSize().height() -
                 Copy->documentLayout()->documentSize().height()) < 1);
}

// A click at each position's cursor rectangle lands on that position.
void CompareHits(TRichEdit& Edit, std::initializer_list<int> Positions) {
    for (int Pos : Positions) {
        QTextCursor At(Edit.document());
        At.setPosition(Pos);
        Edit.setTextCursor(At);
        QVERIFY(Edit.viewport()->rect().contains(Edit.cursorRect().center()));
        QCOMPARE(Edit.cursorForPosition(Edit.cursorRect().center()).position(), Pos);
    }
}

} // namespace

class PlainTextLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void DeepLineLaidOutLittle() {
        TRichEdit Edit;
        Edit.resize(400, 300);
        Edit.show();
        Edit.SetPlainText(true);
        Edit.StreamIn(SampleLines(20000));
        const int Target = Edit.toPlainText().indexOf("line 15001x");
        Edit.SetSelStart(Target);
        Edit.SetSelLength(11);
        Edit.repaint();
        QVERIFY(Lazy(Edit)->LaidOutCount() < 100);
        const QRect Caret = Edit.cursorRect();
        QVERIFY(Edit.viewport()->rect().contains(Caret));
        QCOMPARE(Edit.cursorForPosition(Caret.center() - QPoint(20, 0)).block().text().left(10),
                 QString("line 15001"));
        CompareWithFullLayout(Edit);
    }

    // Inserting and removing lines and characters, and a width change.
    void Edits() {
        TRichEdit Edit;
        Edit.resize(300, 200);
        Edit.show();
        Edit.SetPlainText(true);
        Edit.StreamIn(SampleLines(300));
        for (QTextBlock B = Edit.document()->begin(); B.isValid(); B = B.next())
            Edit.document()->documentLayout()->blockBoundingRect(B);
        QTextCursor C(Edit.document());
        C.setPosition(500);
        C.insertText("new\nlines\nhere and a long one " + QString(200, 'y'));
        C.setPosition(2000);
        C.setPosition(4000, QTextCursor::KeepAnchor);
        C.removeSelectedText();
        C.movePosition(QTextCursor::End);
        C.insertText("\ntail");
        CompareWithFullLayout(Edit);
        Edit.resize(500, 200);
        QApplication::processEvents();
        CompareWithFullLayout(Edit);
        CompareHits(Edit, {0, 1, 499, 503, 2000, Edit.TextLength()});
    }

    // Rich text goes back to the document's own layout, which knows paragraph formats.
    void RichTextUsesTheFullLayout() {
        TRichEdit Edit;
        for (const bool Plain : {true, false, true}) {
            Edit.SetPlainText(Plain);
            Edit.StreamIn("{\\rtf1\\qc centred}");
            QCOMPARE(Lazy(Edit) != nullptr, Plain);
            QCOMPARE(Edit.toPlainText(), QString(Plain ? "{\\rtf1\\qc centred}" : "centred"));
        }
    }
};

QTEST_MAIN(PlainTextLayoutTest)
#include "PlainTextLayoutTest.moc"
