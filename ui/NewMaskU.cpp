#include "ui/NewMaskU.h"

#include "ui_NewMaskU.h"

TNewMaskDlg::TNewMaskDlg(QWidget* Owner) : QDialog(Owner), Ui(std::make_unique<Ui::TNewMaskDlg>()) {
    Ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    connect(Ui->OKBtn, &QPushButton::clicked, this, &TNewMaskDlg::OKBtnClick);
    connect(Ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TNewMaskDlg::~TNewMaskDlg() = default;

QString TNewMaskDlg::MaskText() const {
    return Ui->Edit1->text() + " (*." + Ui->Edit2->text() + ")";
}

bool TNewMaskDlg::EnableForNextSearch() const {
    return Ui->CheckChk->isChecked();
}

// Without an extension the item would match nothing, so the dialog stays open.
void TNewMaskDlg::OKBtnClick() {
    if (!Ui->Edit2->text().isEmpty())
        accept();
}
