#include "ui/PlainTextLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

TPlainTextLayout::TPlainTextLayout(QTextDocument* Document) : QAbstractTextDocumentLayout(Document) {
    Rebuild();
}

qreal TPlainTextLayout::LineWidth() const {
    const qreal Page = document()->pageSize().width();
    return Page > 0 ? std::max<qreal>(Page - 2 * document()->documentMargin(), 1) : qreal(1 << 24);
}

void TPlainTextLayout::Rebuild() const {
    const size_t Count = size_t(document()->blockCount());
    FHeights.resize(Count);
    FLaidOut.resize(Count, 0);
    FTree.assign(Count + 1, 0);
    const QFontMetricsF Metrics(document()->defaultFont());
    const qreal Width = LineWidth();
    size_t I = 0;
    for (QTextBlock B = document()->begin(); B.isValid() && I < Count; B = B.next(), ++I) {
        if (FLaidOut[I])
            continue;
        // A line that fits even in the widest characters takes one line; longer ones count by the
        // average width.
        const qreal Chars = B.length() - 1;
        FHeights[I] = Chars * Metrics.maxWidth() <= Width
                          ? Metrics.height()
                          : Metrics.height() * std::ceil(Chars * Metrics.averageCharWidth() / Width);
    }
    // Linear-time Fenwick construction.
    FTotal = 0;
    for (size_t K = 1; K <= Count; ++K) {
        FTree[K] += FHeights[K - 1];
        FTotal += FHeights[K - 1];
        const size_t Parent = K + (K & -K);
        if (Parent <= Count)
            FTree[Parent] += FTree[K];
    }
}

void TPlainTextLayout::documentChanged(int From, int, int CharsAdded) {
    const QTextDocument* Document = document();
    const int NewCount = Document->blockCount();
    const int Delta = NewCount - int(FHeights.size());
    const int First = Document->findBlock(From).blockNumber();
    const QTextBlock LastBlock = Document->findBlock(From + CharsAdded);
    const int Last = LastBlock.isValid() ? LastBlock.blockNumber() : NewCount - 1;
    // Blocks before the change keep their layout, those after it move by the change in block count, the
    // changed ones are laid out again when needed.
    std::vector<char> LaidOut(size_t(NewCount), 0);
    std::vector<qreal> Heights(size_t(NewCount), 0);
    for (int I = 0; I < NewCount; ++I) {
        const int Old = I < First ? I : I > Last ? I - Delta : -1;
        if (Old >= 0 && Old < int(FLaidOut.size()) && FLaidOut[size_t(Old)]) {
            LaidOut[size_t(I)] = 1;
            Heights[size_t(I)] = FHeights[size_t(Old)];
        }
    }
    if (LineWidth() != FLastWidth) {
        FLastWidth = LineWidth();
        LaidOut.assign(size_t(NewCount), 0);
    }
    FLaidOut = std::move(LaidOut);
    FHeights = std::move(Heights);
    Rebuild();
    emit documentSizeChanged(documentSize());
    emit update();
}

void TPlainTextLayout::SetHeight(int Number, qreal Height) const {
    const qreal Change = Height - FHeights[size_t(Number)];
    if (Change == 0)
        return;
    FHeights[size_t(Number)] = Height;
    FTotal += Change;
    for (size_t K = size_t(Number) + 1; K < FTree.size(); K += K & -K)
        FTree[K] += Change;
    auto* Self = const_cast<TPlainTextLayout*>(this);
    emit Self->documentSizeChanged(documentSize());
}

qreal TPlainTextLayout::Top(int Number) const {
    qreal Sum = 0;
    for (size_t K = size_t(Number); K > 0; K -= K & -K)
        Sum += FTree[K];
    return Sum;
}

int TPlainTextLayout::BlockAt(qreal Y) const {
    const size_t Count = FHeights.size();
    size_t Pos = 0;
    size_t Step = 1;
    while (Step * 2 <= Count)
        Step *= 2;
    for (; Step > 0; Step /= 2) {
        if (Pos + Step <= Count && FTree[Pos + Step] <= Y) {
            Pos += Step;
            Y -= FTree[Pos];
        }
    }
    return int(std::min(Pos, Count - 1));
}

void TPlainTextLayout::Prepare(const QTextBlock& Block) const {
    const int Number = Block.blockNumber();
    QTextLayout* Layout = Block.layout();
    if (!FLaidOut[size_t(Number)]) {
        Layout->setTextOption(document()->defaultTextOption());
        qreal Height = 0;
        Layout->beginLayout();
        for (QTextLine Line = Layout->createLine(); Line.isValid(); Line = Layout->createLine()) {
            Line.setLineWidth(LineWidth());
            Line.setPosition(QPointF(0, Height));
            Height += Line.height();
        }
        Layout->endLayout();
        FLaidOut[size_t(Number)] = 1;
        SetHeight(Number, Height);
    }
    const qreal Margin = document()->documentMargin();
    Layout->setPosition(QPointF(Margin, Margin + Top(Number)));
}

int TPlainTextLayout::LaidOutCount() const {
    return int(std::count(FLaidOut.begin(), FLaidOut.end(), 1));
}

QSizeF TPlainTextLayout::documentSize() const {
    const qreal Margin = document()->documentMargin();
    const qreal Page = document()->pageSize().width();
    return QSizeF(Page > 0 ? Page : LineWidth(), FTotal + 2 * Margin);
}

QRectF TPlainTextLayout::frameBoundingRect(QTextFrame*) const {
    return QRectF(QPointF(0, 0), documentSize());
}

QRectF TPlainTextLayout::blockBoundingRect(const QTextBlock& Block) const {
    if (!Block.isValid() || Block.blockNumber() >= int(FHeights.size()))
        return QRectF();
    Prepare(Block);
    const QTextLayout* Layout = Block.layout();
    return QRectF(Layout->position(), QSizeF(LineWidth(), FHeights[size_t(Block.blockNumber())]));
}

int TPlainTextLayout::hitTest(const QPointF& Point, Qt::HitTestAccuracy Accuracy) const {
    if (FHeights.empty())
        return -1;
    const QTextBlock Block = document()->findBlockByNumber(BlockAt(Point.y() - document()->documentMargin()));
    Prepare(Block);
    const QTextLayout* Layout = Block.layout();
    const QPointF Local = Point - Layout->position();
    for (int I = 0; I < Layout->lineCount(); ++I) {
        const QTextLine Line = Layout->lineAt(I);
        if (Local.y() < Line.y() + Line.height() || I == Layout->lineCount() - 1) {
            if (Accuracy == Qt::ExactHit &&
                (Local.y() < Line.y() || Local.y() >= Line.y() + Line.height() || Local.x() < Line.x() ||
                 Local.x() > Line.x() + Line.naturalTextWidth()))
                return -1;
            return Block.position() + Line.xToCursor(Local.x());
        }
    }
    return Accuracy == Qt::ExactHit ? -1 : Block.position();
}

void TPlainTextLayout::draw(QPainter* Painter, const PaintContext& Context) {
    if (FHeights.empty())
        return;
    const qreal Margin = document()->documentMargin();
    const QRectF Clip =
        Context.clip.isValid() ? Context.clip : QRectF(0, 0, documentSize().width(), FTotal + 2 * Margin);
    const int CursorWidth = property("cursorWidth").isValid() ? property("cursorWidth").toInt() : 1;
    for (QTextBlock Block = document()->findBlockByNumber(BlockAt(Clip.top() - Margin)); Block.isValid();
         Block = Block.next()) {
        Prepare(Block);
        QTextLayout* Layout = Block.layout();
        if (Layout->position().y() > Clip.bottom())
            break;
        const int Start = Block.position();
        const int Length = Block.length();
        QList<QTextLayout::FormatRange> Ranges;
        for (const Selection& S : Context.selections) {
            const int From = std::max(S.cursor.selectionStart() - Start, 0);
            const int To = std::min(S.cursor.selectionEnd() - Start, Length);
            if (From < To)
                Ranges.append({From, To - From, S.format});
        }
        Layout->draw(Painter, QPointF(), Ranges, Clip);
        if (Context.cursorPosition >= Start && Context.cursorPosition < Start + Length)
            Layout->drawCursor(Painter, QPointF(), Context.cursorPosition - Start, CursorWidth);
    }
}
