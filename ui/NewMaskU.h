#pragma once
// The "Add New File Mask" dialog: a description, an extension of at most 16 characters, and whether
// the new type takes part in the next search.

#include <QDialog>
#include <memory>

namespace Ui {
class TNewMaskDlg;
}

class TNewMaskDlg : public QDialog {
    Q_OBJECT
public:
    explicit TNewMaskDlg(QWidget* Owner);
    ~TNewMaskDlg() override;

    // The list item the dialog describes: description, " (*.", extension, ")".
    QString MaskText() const;
    bool EnableForNextSearch() const;
    static constexpr int MaxExtension = 16;

private:
    QString Extension() const;
    void OKBtnClick();

    std::unique_ptr<Ui::TNewMaskDlg> Ui;
};
