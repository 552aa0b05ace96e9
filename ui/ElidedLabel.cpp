#include "ui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

QSize TElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QRect Area = contentsRect();
    const QString Shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, Area.width());
    style()->drawItemText(&Painter, Area, int(alignment()), palette(), isEnabled(), Shown, foregroundRole());
}
