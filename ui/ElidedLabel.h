#pragma once
// A one-line label that shows a text too long for it shortened in the middle, so that a long path neither
// widens its window nor loses its file name. text() stays the whole text.

#include <QLabel>

class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
};
