#include "ui/RightLabel.h"

TRightLabel::TRightLabel(QWidget* Parent) : QLabel(Parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TRightLabel::setText(const QString& Text) {
    const int Right = geometry().x() + geometry().width();
    QLabel::setText(Text);
    const int Width = std::max(1, sizeHint().width());
    setGeometry(Right - Width, geometry().y(), Width, geometry().height());
}
