#pragma once
// A layout for plain text that lays out only the blocks it is asked for (those painted, hit or holding
// the cursor). Blocks not yet laid out count with an estimated height, so showing a line deep in a large
// file costs the lines on screen, not every line above them.

#include <QAbstractTextDocumentLayout>
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

    // Blocks laid out so far (for checking that work stays near what is shown).
    int LaidOutCount() const;

protected:
    void documentChanged(int From, int CharsRemoved, int CharsAdded) override;

private:
    qreal LineWidth() const;
    // Lays the block out when it is not, and places it at its current top.
    void Prepare(const QTextBlock& Block) const;
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
};
