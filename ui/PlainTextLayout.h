#pragma once
// A layout for plain text that lays out only the blocks it is asked for (those painted, hit or holding
// the cursor). Blocks not yet laid out count with an estimated height, so showing a line deep in a large
// file costs the lines on screen, not every line above them.
//
// A very long block of printable ASCII (the dotted rendering of a binary file is one) is laid out by our
// own rules, the same as Qt's, without shaping: lines broken where Qt breaks them, or, unwrapped, glyphs
// placed side by side; only the part shown is laid out by Qt. Qt's layout of a block has to break and
// shape all of it before any line can be drawn, and cannot place glyphs much beyond 30 million pixels.
// Such a block's own QTextLayout stays empty, so Qt's cursor geometry finds no line there; CursorRect
// answers for it.

#include "ui/LongLines.h"

#include <QAbstractTextDocumentLayout>
#include <QTextLayout>
#include <map>
#include <memory>
#include <vector>

class TPlainTextLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
public:
    explicit TPlainTextLayout(QTextDocument* Document);

    void draw(QPainter* Painter, const PaintContext& Context) override;
    int hitTest(const QPointF& Point, Qt::HitTestAccuracy Accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* Frame) const override;
    QRectF blockBoundingRect(const QTextBlock& Block) const override;

    // The cursor's rectangle at Position when that lies in a long block broken by our own rules (else
    // invalid): the rectangle Qt would give if it had laid the block out.
    QRectF CursorRect(int Position) const;
    bool HasLongBlocks() const { return !FLong.empty(); }
    // Lays out the block holding Position through Qt, as editing by keyboard needs its lines.
    void LayOutForEditing(int Position);
    // Blocks laid out so far (for checking that work stays near what is shown).
    int LaidOutCount() const;

protected:
    void documentChanged(int From, int CharsRemoved, int CharsAdded) override;

private:
    // A long block laid out by our own rules.
    struct TLongBlock {
        std::vector<int> Starts;    // of its lines, one when it is not wrapped
        std::vector<int64_t> Marks; // not wrapped: x of every MarkStep-th character, in 1/64 pixel
        qreal Width = 0;            // not wrapped: the line's width
    };
    // A part of a long block laid out by Qt: lines from one of its line starts on, or a stretch of the
    // unwrapped line starting X pixels in.
    struct TWindow {
        int Block = -1;
        int First = 0; // first line, and how many lines are used (those after are cut by the window)
        int Count = 0;
        int From = 0; // characters laid out, from the block's start
        int To = 0;
        int Start = 0; // document position of From
        qreal X = 0;
        std::unique_ptr<QTextLayout> Layout;
    };

    qreal LineWidth() const;
    // Lays the block out when it is not, and places it at its current top.
    void Prepare(const QTextBlock& Block) const;
    qreal LayOutWithQt(const QTextBlock& Block) const;
    bool Wraps() const;
    // Lays a long block out by our own rules when it can; false when it is not such a block.
    bool LayOutLong(const QTextBlock& Block) const;
    const TLongBlock* Long(const QTextBlock& Block) const;
    // The part of a long block holding its line Line, or (unwrapped) its characters [From, To).
    const TWindow& Window(const QTextBlock& Block, int Line, int From = 0, int To = 0) const;
    // The text of a long block, kept with the window.
    const QString& LongText(const QTextBlock& Block) const;
    int64_t XOf(const TLongBlock& Long, int Offset) const;
    int OffsetAt(const TLongBlock& Long, int64_t X) const;
    // The part of the long block holding the character at Offset, and that character's line.
    std::pair<const TWindow*, int> WindowAt(const QTextBlock& Block, int Offset) const;
    void DrawLong(QPainter* Painter, const PaintContext& Context, const QTextBlock& Block,
                  const QRectF& Clip) const;
    // The selections within [Start, Start + Length) of the document, relative to Start.
    static QList<QTextLayout::FormatRange> Ranges(const PaintContext& Context, int Start, int Length);
    int CursorWidth() const;
    void SetHeight(int Number, qreal Height) const;
    qreal Top(int Number) const;
    // The block whose extent holds Y (document coordinates without the margin).
    int BlockAt(qreal Y) const;
    void Rebuild() const;

    // Heights by block number, a Fenwick tree of them for tops, and which blocks are laid out.
    mutable std::vector<qreal> FHeights;
    mutable std::vector<qreal> FTree;
    mutable std::vector<char> FLaidOut;
    mutable qreal FTotal = 0;
    mutable qreal FLastWidth = -1;
    // Long blocks by number, their lines all one height; their breaker (for one font), and the text of
    // the window's block.
    mutable std::map<int, TLongBlock> FLong;
    mutable qreal FLongLineHeight = 0;
    mutable std::unique_ptr<TLongLineBreaker> FBreaker;
    mutable QFont FBreakerFont;
    mutable QString FWindowText;
    mutable TWindow FWindow;
};
