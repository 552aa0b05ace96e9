#include "ui/NewMaskU.h"

#include "ui_NewMaskU.h"

TNewMaskDlg::TNewMaskDlg(QWidget* Owner) : QDialog(Owner), Ui(std::make_unique<Ui::TNewMaskDlg>()) {
    Ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    connect(Ui->OKBtn, &QPushButton::clicked, this, &TNewMaskDlg::OKBtnClick);
    connect(Ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TNewMaskDlg::~TNewMaskDlg() = default;

// "*.log" and ".log" typed as the extension mean "log"; longer extensions than DOS allowed are common.
QString TNewMaskDlg::Extension() const {
    QString E = Ui->Edit2->text().trimmed();
    if (E.startsWith('*'))
        E.remove(0, 1);
    if (E.startsWith('.'))
        E.remove(0, 1);
    return E.left(MaxExtension);
}

QString TNewMaskDlg::MaskText() const {
    return Ui->Edit1->text() + " (*." + Extension() + ")";
}

bool TNewMaskDlg::EnableForNextSearch() const {
    return Ui->CheckChk->isChecked();
}

// Without an extension the item would match nothing, so the dialog stays open.
void TNewMaskDlg::OKBtnClick() {
    if (!Extension().isEmpty())
        accept();
}
