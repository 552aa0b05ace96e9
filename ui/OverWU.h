#pragma once
// The "File Exists" question: whether an extracted file may replace one of the same name.

#include <QDialog>
#include <memory>

namespace Ui {
class TOverWriteDlg;
}

class TOverWriteDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOverWriteDlg(QWidget* Owner = nullptr);
    ~TOverWriteDlg() override;

    // Shows Name and waits for an answer: 7 No, 9 No to All, 6 Yes, 10 Yes to All, 2 when the window is
    // closed without a button.
    int Ask(const QString& Name);

    void reject() override;

private:
    std::unique_ptr<Ui::TOverWriteDlg> Ui;
};
