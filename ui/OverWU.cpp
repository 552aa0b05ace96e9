#include "ui/OverWU.h"

#include "platform/Dialogs.h"
#include "ui_OverWU.h"

#include <QGuiApplication>
#include <QScreen>

TOverWriteDlg::TOverWriteDlg(QWidget* Owner) : QDialog(Owner), Ui(std::make_unique<Ui::TOverWriteDlg>()) {
    Ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    for (auto [Button, Result] : {std::pair{Ui->NoBtn, int(idNo)},
                                  {Ui->NoAllBtn, int(idNoToAll)},
                                  {Ui->YesBtn, int(idYes)},
                                  {Ui->YesAllBtn, int(idYesToAll)}})
        connect(Button, &QPushButton::clicked, this, [this, Result] { done(Result); });
}

TOverWriteDlg::~TOverWriteDlg() = default;

int TOverWriteDlg::Ask(const QString& Name) {
    // A long path keeps its start and its file name; the whole of it is the hint.
    Ui->ItemFN->setText(
        Ui->ItemFN->fontMetrics().elidedText(Name, Qt::ElideMiddle, Ui->ItemFN->width() - 16));
    Ui->ItemFN->setToolTip(Name);
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        move(Screen->availableGeometry().center() - rect().center());
    Ui->NoBtn->setFocus();
    return exec();
}

// The close box and Escape.
void TOverWriteDlg::reject() {
    done(idCancel);
}
