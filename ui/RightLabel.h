#pragma once
// A label that keeps its right edge where the form put it and grows leftwards with its text, as the
// window's counters and entry name do.

#include <QLabel>

class TRightLabel : public QLabel {
    Q_OBJECT
public:
    explicit TRightLabel(QWidget* Parent = nullptr);
    // Hides QLabel::setText on purpose: the form description and the window both set texts through here.
    void setText(const QString& Text);
};
