// Plain text laid out only where it is shown: a line deep in a large text is selected and shown with
// few blocks laid out; the lines stand where the document's own layout puts them, through edits and a
// width change, and positions, hits and cursor rectangles agree.

#include "ui/PlainTextLayout.h"
#include "ui/RichEdit.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <random>
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

    // A long block in the pane, wrapped and not, looks as Qt's own layout draws it, with the selection
    // deep inside scrolled into view, and it is never laid out whole.
    void LongBlockShownAsQtShowsIt() {
        for (const auto Wrap : {QTextEdit::WidgetWidth, QTextEdit::NoWrap}) {
            TRichEdit Edit;
            QTextEdit Theirs;
            for (QTextEdit* E : {static_cast<QTextEdit*>(&Edit), &Theirs}) {
                E->setLineWrapMode(Wrap);
                E->resize(400, 300);
                E->show();
            }
            Edit.SetPlainText(true);
            Edit.StreamIn(("head\n" + LongText(0, 300000) + "\ntail").toStdString());
            Edit.SetSelStart(250000);
            Edit.SetSelLength(6);
            const QTextBlock Long = Edit.document()->findBlockByNumber(1);
            QCOMPARE(Long.layout()->lineCount(), 0);
            const QRectF Caret = Lazy(Edit)->CursorRect(250006).translated(
                -Edit.horizontalScrollBar()->value(), -Edit.verticalScrollBar()->value());
            QVERIFY(QRectF(Edit.viewport()->rect()).contains(Caret));
            // Qt's own layout of a copy, without shaping as ours.
            Theirs.setDocument(Edit.document()->clone(&Theirs));
            QTextCursor All(Theirs.document());
            All.select(QTextCursor::Document);
            QTextCharFormat NoShaping;
            NoShaping.setFontStyleStrategy(
                TLongLineBreaker::NoShaping(Edit.document()->defaultFont()).styleStrategy());
            All.mergeCharFormat(NoShaping);
            QTextCursor Same(Theirs.document());
            Same.setPosition(Edit.textCursor().anchor());
            Same.setPosition(Edit.textCursor().position(), QTextCursor::KeepAnchor);
            Theirs.setTextCursor(Same);
            Theirs.horizontalScrollBar()->setValue(Edit.horizontalScrollBar()->value());
            Theirs.verticalScrollBar()->setValue(Edit.verticalScrollBar()->value());
            QVERIFY(Edit.viewport()->grab().toImage() == Theirs.viewport()->grab().toImage());
            // Keys move through the lines as Qt's do.
            for (const Qt::Key Key : {Qt::Key_Home, Qt::Key_Up, Qt::Key_End}) {
                QTest::keyClick(&Edit, Key);
                QTest::keyClick(&Theirs, Key);
                QCOMPARE(Edit.textCursor().position(), Theirs.textCursor().position());
            }
        }
    }

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
