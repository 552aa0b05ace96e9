#include "ui/PlainTextLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

// Blocks at least this long are broken into lines by our own rules when they can be.
constexpr int LongBlock = 10000;
// Lines of a long block laid out by Qt at a time, or characters of an unwrapped one at least.
constexpr int WindowLines = 128;
constexpr int WindowChars = 8192;
// Characters between the x positions kept of an unwrapped long block.
constexpr int MarkStep = 1024;

// Where Local (relative to the line's layout) hits Line, or -1 for a miss when the hit must be exact.
int HitInLine(const QTextLine& Line, const QPointF& Local, Qt::HitTestAccuracy Accuracy) {
    if (Accuracy == Qt::ExactHit && (Local.y() < Line.y() || Local.y() >= Line.y() + Line.height() ||
                                     Local.x() < Line.x() || Local.x() > Line.x() + Line.naturalTextWidth()))
        return -1;
    return Line.xToCursor(Local.x());
}

int LineOf(const std::vector<int>& Starts, int Offset) {
    return int(std::upper_bound(Starts.begin(), Starts.end(), Offset) - Starts.begin()) - 1;
}

} // namespace

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
    std::map<int, TLongBlock> Long;
    for (auto& [Old, Lines] : FLong) {
        const int I = Old < First ? Old : Old + Delta > Last ? Old + Delta : -1;
        if (I >= 0 && I < NewCount && LaidOut[size_t(I)])
            Long.emplace(I, std::move(Lines));
    }
    FLong = std::move(Long);
    FWindow = TWindow();
    FWindowText.clear();
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

qreal TPlainTextLayout::LayOutWithQt(const QTextBlock& Block) const {
    QTextLayout* Layout = Block.layout();
    Layout->setTextOption(document()->defaultTextOption());
    qreal Height = 0;
    Layout->beginLayout();
    for (QTextLine Line = Layout->createLine(); Line.isValid(); Line = Layout->createLine()) {
        Line.setLineWidth(LineWidth());
        Line.setPosition(QPointF(0, Height));
        Height += Line.height();
    }
    Layout->endLayout();
    return Height;
}

const TPlainTextLayout::TLongBlock* TPlainTextLayout::Long(const QTextBlock& Block) const {
    const auto It = FLong.find(Block.blockNumber());
    return It == FLong.end() ? nullptr : &It->second;
}

bool TPlainTextLayout::LayOutLong(const QTextBlock& Block) const {
    const QTextOption Option = document()->defaultTextOption();
    const QTextOption::WrapMode Mode = Option.wrapMode();
    const bool Wrapped = Mode == QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (Block.length() - 1 < LongBlock ||
        !(Wrapped || Mode == QTextOption::NoWrap || Mode == QTextOption::ManualWrap) || Option.flags() ||
        (Option.alignment() & (Qt::AlignRight | Qt::AlignHCenter | Qt::AlignJustify)) ||
        Block.textDirection() != Qt::LeftToRight || document()->useDesignMetrics())
        return false;
    // One format throughout.
    const int Format = Block.begin().fragment().charFormatIndex();
    for (auto It = Block.begin(); !It.atEnd(); ++It)
        if (It.fragment().charFormatIndex() != Format)
            return false;
    const QFont Font = TLongLineBreaker::NoShaping(Block.begin().fragment().charFormat().font());
    const QString Text = Block.text();
    if (!TLongLineBreaker::Handles(Text, Font))
        return false;
    if (!FBreaker || Font != FBreakerFont) {
        FBreaker = std::make_unique<TLongLineBreaker>(Font);
        FBreakerFont = Font;
        QTextLayout Sample(QStringLiteral("x"), Font);
        Sample.beginLayout();
        QTextLine Line = Sample.createLine();
        Line.setLineWidth(LineWidth());
        FLongLineHeight = Line.height();
        Sample.endLayout();
    }
    TLongBlock Long;
    if (Wrapped) {
        Long.Starts = FBreaker->LineStarts(Text, LineWidth());
    } else {
        Long.Starts = {0};
        int64_t X = 0;
        for (qsizetype I = 0; I < Text.size(); I += MarkStep) {
            Long.Marks.push_back(X);
            X += FBreaker->Advance(QStringView(Text).mid(I, MarkStep));
        }
        Long.Width = qreal(X) / 64;
    }
    FLong[Block.blockNumber()] = std::move(Long);
    return true;
}

void TPlainTextLayout::Prepare(const QTextBlock& Block) const {
    const int Number = Block.blockNumber();
    // The new height can bring a scroll bar and so a new width, which lays everything out again.
    while (!FLaidOut[size_t(Number)]) {
        FLaidOut[size_t(Number)] = 1;
        if (LayOutLong(Block)) {
            Block.layout()->clearLayout(); // lines Qt made for editing at an earlier width
            SetHeight(Number, FLongLineHeight * qreal(Long(Block)->Starts.size()));
            // An unwrapped one widens the document.
            emit const_cast<TPlainTextLayout*>(this)->documentSizeChanged(documentSize());
        } else {
            SetHeight(Number, LayOutWithQt(Block));
        }
    }
    const qreal Margin = document()->documentMargin();
    Block.layout()->setPosition(QPointF(Margin, Margin + Top(Number)));
}

const QString& TPlainTextLayout::LongText(const QTextBlock& Block) const {
    if (FWindow.Block != Block.blockNumber()) {
        FWindow = TWindow();
        FWindow.Block = Block.blockNumber();
        FWindowText = Block.text();
    }
    return FWindowText;
}

int64_t TPlainTextLayout::XOf(const TLongBlock& Long, int Offset) const {
    const int Mark = Offset / MarkStep;
    return Long.Marks[size_t(Mark)] +
           FBreaker->Advance(QStringView(FWindowText).mid(Mark * MarkStep, Offset % MarkStep));
}

int TPlainTextLayout::OffsetAt(const TLongBlock& Long, int64_t X) const {
    const auto Mark =
        std::max(std::upper_bound(Long.Marks.begin(), Long.Marks.end(), X) - 1, Long.Marks.begin());
    int Offset = int(Mark - Long.Marks.begin()) * MarkStep;
    for (int64_t At = *Mark; Offset < FWindowText.size(); ++Offset) {
        At += FBreaker->Advance(QStringView(FWindowText).mid(Offset, 1));
        if (At > X)
            break;
    }
    return Offset;
}

const TPlainTextLayout::TWindow& TPlainTextLayout::Window(const QTextBlock& Block, int Line, int From,
                                                          int To) const {
    TWindow& W = FWindow;
    const int Number = Block.blockNumber();
    LongText(Block);
    const TLongBlock& Long = *this->Long(Block);
    const int Size = int(FWindowText.size());
    const bool Wrapped = Long.Marks.empty();
    if (!W.Layout || (Wrapped ? Line < W.First || Line >= W.First + W.Count : From < W.From || To > W.To)) {
        if (Wrapped) {
            // A couple of lines before the one asked for give the line breaking its context, and text
            // past the last line used, wider than a line, makes that line end where it does in the block.
            const int Lines = int(Long.Starts.size());
            W.First = std::max(Line - 2, 0);
            W.Count = std::min(WindowLines, Lines - W.First);
            W.From = Long.Starts[size_t(W.First)];
            W.To = W.First + W.Count < Lines ? Long.Starts[size_t(W.First + W.Count)] : Size;
            W.X = 0;
        } else {
            W.First = 0;
            W.Count = 1;
            W.From = std::max(From - WindowChars / 2, 0);
            W.To = std::min(std::max(To, From + WindowChars / 2) + WindowChars / 2, Size);
            W.X = qreal(XOf(Long, W.From)) / 64;
        }
        const int LaidTo = Wrapped ? std::min(Size, W.To + FBreaker->CharsWiderThan(LineWidth())) : W.To;
        W.Start = Block.position() + W.From;
        W.Layout = std::make_unique<QTextLayout>(FWindowText.mid(W.From, LaidTo - W.From), FBreakerFont);
        W.Layout->setTextOption(document()->defaultTextOption());
        qreal Y = 0;
        W.Layout->beginLayout();
        for (QTextLine L = W.Layout->createLine(); L.isValid(); L = W.Layout->createLine()) {
            L.setLineWidth(LineWidth());
            L.setPosition(QPointF(0, Y));
            Y += FLongLineHeight;
        }
        W.Layout->endLayout();
    }
    const qreal Margin = document()->documentMargin();
    W.Layout->setPosition(QPointF(Margin, Margin + Top(Number) + W.First * FLongLineHeight));
    return W;
}

std::pair<const TPlainTextLayout::TWindow*, int> TPlainTextLayout::WindowAt(const QTextBlock& Block,
                                                                            int Offset) const {
    const TLongBlock& L = *Long(Block);
    if (!L.Marks.empty())
        return {&Window(Block, 0, Offset, Offset + 1), 0};
    const int Line = LineOf(L.Starts, Offset);
    return {&Window(Block, Line), Line};
}

QRectF TPlainTextLayout::CursorRect(int Position) const {
    const QTextBlock Block = document()->findBlock(Position);
    if (!Block.isValid())
        return QRectF();
    Prepare(Block);
    if (!Long(Block) || Block.layout()->lineCount() > 0)
        return QRectF();
    const auto [W, Line] = WindowAt(Block, Position - Block.position());
    const QTextLine L = W->Layout->lineAt(Line - W->First);
    const QPointF At = W->Layout->position() + QPointF(W->X, 0);
    return QRectF(At.x() + L.cursorToX(Position - W->Start), At.y() + L.y(), CursorWidth(), L.height());
}

void TPlainTextLayout::LayOutForEditing(int Position) {
    const QTextBlock Block = document()->findBlock(Position);
    if (!Block.isValid())
        return;
    Prepare(Block);
    if (Long(Block) && Block.layout()->lineCount() == 0)
        LayOutWithQt(Block);
}

int TPlainTextLayout::CursorWidth() const {
    return property("cursorWidth").isValid() ? property("cursorWidth").toInt() : 1;
}

int TPlainTextLayout::LaidOutCount() const {
    return int(std::count(FLaidOut.begin(), FLaidOut.end(), 1));
}

QSizeF TPlainTextLayout::documentSize() const {
    const qreal Margin = document()->documentMargin();
    const qreal Page = document()->pageSize().width();
    qreal Width = Page > 0 ? Page : LineWidth();
    for (const auto& [Number, L] : FLong)
        Width = std::max(Width, L.Width + 2 * Margin);
    return QSizeF(Width, FTotal + 2 * Margin);
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
    const qreal Margin = document()->documentMargin();
    const QTextBlock Block = document()->findBlockByNumber(BlockAt(Point.y() - Margin));
    Prepare(Block);
    const QTextLayout* Layout = Block.layout();
    if (const TLongBlock* L = Long(Block)) {
        LongText(Block);
        const int Line = std::clamp(int((Point.y() - Layout->position().y()) / FLongLineHeight), 0,
                                    int(L->Starts.size()) - 1);
        const int Offset = L->Marks.empty() ? 0 : OffsetAt(*L, int64_t((Point.x() - Margin) * 64));
        const TWindow& W = L->Marks.empty() ? Window(Block, Line) : Window(Block, 0, Offset, Offset + 1);
        const int Hit = HitInLine(W.Layout->lineAt(Line - W.First),
                                  Point - W.Layout->position() - QPointF(W.X, 0), Accuracy);
        return Hit < 0 ? -1 : W.Start + Hit;
    }
    const QPointF Local = Point - Layout->position();
    for (int I = 0; I < Layout->lineCount(); ++I) {
        const QTextLine Line = Layout->lineAt(I);
        if (Local.y() < Line.y() + Line.height() || I == Layout->lineCount() - 1) {
            const int Hit = HitInLine(Line, Local, Accuracy);
            return Hit < 0 ? -1 : Block.position() + Hit;
        }
    }
    return Accuracy == Qt::ExactHit ? -1 : Block.position();
}

QList<QTextLayout::FormatRange> TPlainTextLayout::Ranges(const PaintContext& Context, int Start, int Length) {
    QList<QTextLayout::FormatRange> Ranges;
    for (const Selection& S : Context.selections) {
        const int From = std::max(S.cursor.selectionStart() - Start, 0);
        const int To = std::min(S.cursor.selectionEnd() - Start, Length);
        if (From < To)
            Ranges.append({From, To - From, S.format});
    }
    return Ranges;
}

void TPlainTextLayout::DrawLong(QPainter* Painter, const PaintContext& Context, const QTextBlock& Block,
                                const QRectF& Clip) const {
    const TLongBlock& L = *Long(Block);
    const qreal Top = Block.layout()->position().y();
    const qreal Margin = document()->documentMargin();
    const int Lines = int(L.Starts.size());
    const int Cursor = Context.cursorPosition - Block.position();
    LongText(Block);
    const auto Draw = [&](const TWindow& W) {
        // Only the lines used are drawn; the selection may take in the block's end.
        const QRectF Band =
            Clip & QRectF(Clip.left(), W.Layout->position().y(), Clip.width(), W.Count * FLongLineHeight);
        const int Length = W.To - W.From + (W.To == Block.length() - 1 ? 1 : 0);
        Painter->save();
        Painter->translate(W.X, 0);
        if (!Band.isEmpty())
            W.Layout->draw(Painter, QPointF(), Ranges(Context, W.Start, Length), Band.translated(-W.X, 0));
        if (Cursor >= W.From && Cursor <= W.To && Cursor < Block.length() &&
            (!L.Marks.empty() ||
             (LineOf(L.Starts, Cursor) >= W.First && LineOf(L.Starts, Cursor) < W.First + W.Count)))
            W.Layout->drawCursor(Painter, QPointF(), Cursor - W.From, CursorWidth());
        Painter->restore();
    };
    if (!L.Marks.empty()) {
        const int From = OffsetAt(L, int64_t((Clip.left() - Margin) * 64));
        Draw(Window(Block, 0, From, OffsetAt(L, int64_t((Clip.right() - Margin) * 64)) + 1));
        return;
    }
    const int Last = std::clamp(int((Clip.bottom() - Top) / FLongLineHeight), 0, Lines - 1);
    for (int Line = std::clamp(int((Clip.top() - Top) / FLongLineHeight), 0, Lines - 1); Line <= Last;) {
        const TWindow& W = Window(Block, Line);
        Draw(W);
        Line = W.First + W.Count;
    }
}

void TPlainTextLayout::draw(QPainter* Painter, const PaintContext& Context) {
    if (FHeights.empty())
        return;
    const qreal Margin = document()->documentMargin();
    const QRectF Clip =
        Context.clip.isValid() ? Context.clip : QRectF(0, 0, documentSize().width(), FTotal + 2 * Margin);
    for (QTextBlock Block = document()->findBlockByNumber(BlockAt(Clip.top() - Margin)); Block.isValid();
         Block = Block.next()) {
        Prepare(Block);
        QTextLayout* Layout = Block.layout();
        if (Layout->position().y() > Clip.bottom())
            break;
        if (Long(Block)) {
            DrawLong(Painter, Context, Block, Clip);
            continue;
        }
        const int Start = Block.position();
        Layout->draw(Painter, QPointF(), Ranges(Context, Start, Block.length()), Clip);
        if (Context.cursorPosition >= Start && Context.cursorPosition < Start + Block.length())
            Layout->drawCursor(Painter, QPointF(), Context.cursorPosition - Start, CursorWidth());
    }
}
