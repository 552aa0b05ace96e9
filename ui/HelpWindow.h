#pragma once
// The program's help: its HTML help file in a window of its own, opened at the contents.

#include <QWidget>

class QTextBrowser;

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* Owner);

    // Shows File at its "contents" anchor (the top when there is none) and brings the window forward. A
    // missing file is reported and nothing is shown.
    void ShowContents(const QString& File);

private:
    QTextBrowser* Browser;
};
