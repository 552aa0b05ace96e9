#include "ui/ExtractU.h"

#include "archive/AbExcept.h"
#include "archive/AbUtils.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "ui/AbZipOut.h"
#include "ui/FolderDialog.h"
#include "ui/OverWU.h"
#include "ui_ExtractU.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QScreen>

namespace {

// Failures listed one per line after an extraction; the rest are counted.
constexpr size_t ListedFailures = 20;

// Events are let through at most this often during an extraction, often enough for Cancel to act at once.
constexpr int EventIntervalMs = 40;

} // namespace

TExtractDlg::TExtractDlg(TOverWriteDlg& AOverWriteDlg, QWidget* Owner)
    : QDialog(Owner), Ui(std::make_unique<Ui::TExtractDlg>()), OverWriteDlg(AOverWriteDlg) {
    Ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        move(Screen->availableGeometry().center() - rect().center());

    TAbZipOutline* Outline = Ui->ZipOutline;
    Outline->SetExtractOptions({eoCreateDirs, eoRestorePath});
    Outline->SetOutlineStyle(osTreePictureText);
    Outline->OnArchiveProgress = [this](void*, uint8_t Progress, bool& Abort) {
        ZipOutlineArchiveProgress(Progress, Abort);
    };
    Outline->OnArchiveItemProgress = [this](void*, TAbArchiveItem*, uint8_t Progress, bool& Abort) {
        ZipOutlineArchiveItemProgress(Progress, Abort);
    };
    Outline->OnConfirmOverwrite = [this](std::string& Name, bool& Confirm) {
        ZipOutlineConfirmOverwrite(Name, Confirm);
    };
    Outline->OnConfirmProcessItem = [this](void*, TAbArchiveItem* Item, TAbProcessType, bool&) {
        FCurrentEntry = Item->GetFileName();
        FPasswordQuestions = 0;
    };
    Outline->OnNeedPassword = [this](void*, std::string& NewPassword) {
        ZipOutlineNeedPassword(NewPassword);
    };
    Outline->OnProcessItemFailure = [this](void*, TAbArchiveItem* Item, TAbProcessType, TAbErrorClass, int,
                                           const std::string& Message) {
        // The entry cut short by a stop request is no failure of its own.
        if (!Aborted)
            FFailures.push_back(Item->GetFileName() + ": " + Message);
    };

    connect(Ui->BrowseBtn, &QPushButton::clicked, this, &TExtractDlg::BrowseBtnClick);
    connect(Ui->ExtractBtn, &QPushButton::clicked, this, &TExtractDlg::ExtractBtnClick);
    connect(Ui->CancelBtn, &QPushButton::clicked, this, &TExtractDlg::CancelBtnClick);
    ChooseFolder = [this](const QString& Start) { return ::ChooseFolder(this, Start); };
    AskPassword = [this](const QString& Prompt, QString& Password) {
        bool Given = false;
        Password = QInputDialog::getText(this, "Password", Prompt, QLineEdit::Password, "", &Given);
        return Given;
    };
    FormCreate();
}

TExtractDlg::~TExtractDlg() = default;

TAbZipOutline* TExtractDlg::ZipOutline() const {
    return Ui->ZipOutline;
}

QComboBox* TExtractDlg::ExtractPath() const {
    return Ui->ExtractPath;
}

QLabel* TExtractDlg::ArcFN() const {
    return Ui->ArcFN;
}

void TExtractDlg::FormCreate() {
    Aborted = false;
    OverwriteAnswer = idNo;
    Ui->ProgressBar1->hide();
}

void TExtractDlg::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    Ui->ArcFN->setToolTip(Ui->ArcFN->text());
    CompletedPath.clear();
    Ui->ZipOutline->CollapseAll();
}

void TExtractDlg::done(int Result) {
    // Closing frees the archive the running extraction works on: it closes once the extraction stopped.
    if (FRunning) {
        Aborted = true;
        FCloseAfterRun = true;
        return;
    }
    try {
        Ui->ZipOutline->CloseArchive();
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
    }
    QDialog::done(Result);
}

void TExtractDlg::reject() {
    CancelBtnClick();
}

void TExtractDlg::BrowseBtnClick() {
    const QString Start = Ui->ExtractPath->currentText().isEmpty() ? "/" : Ui->ExtractPath->currentText();
    QString Chosen = ChooseFolder(Start);
    if (Chosen.isEmpty())
        return;
    if (!Chosen.endsWith('/'))
        Chosen += '/';
    Ui->ExtractPath->setEditText(Chosen);
    try {
        Ui->ZipOutline->SetBaseDirectory(Chosen.toStdString());
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
    }
}

bool TExtractDlg::PrepareFolder(const std::string& Folder) {
    if (Folder.empty()) {
        ShowMessageBox("Type or choose the folder to extract into.", "", mbOK);
        return false;
    }
    if (!DirExists(Folder)) {
        if (ShowMessageBox("The folder \"" + Folder + "\" does not exist. Create it?", "", mbYesNo) != idYes)
            return false;
        try {
            CreateDirectoryPath(Folder);
        } catch (const std::exception& E) {
            ShowMessageBox(E.what(), "", mbOK);
            return false;
        }
    }
    if (!FolderWritable(Folder)) {
        ShowMessageBox("Files cannot be written into the folder \"" + Folder + "\".", "", mbOK);
        return false;
    }
    return true;
}

void TExtractDlg::SetRunning(bool Running) {
    FRunning = Running;
    for (QWidget* W : std::initializer_list<QWidget*>{Ui->ExtractBtn, Ui->BrowseBtn, Ui->ExtractPath})
        W->setEnabled(!Running);
    Ui->ProgressBar1->setVisible(Running);
    FSinceEvents.start();
}

void TExtractDlg::ExtractBtnClick() {
    if (FRunning)
        return;
    Aborted = false;
    OverwriteAnswer = idNo;
    Ui->ProgressBar1->setValue(0);
    const std::string Folder = Ui->ExtractPath->currentText().toStdString();
    if (!PrepareFolder(Folder))
        return;
    TAbZipOutline* Outline = Ui->ZipOutline;
    bool Completed = false;
    try {
        Outline->SetBaseDirectory(Folder);
        FFailures.clear();
        FEntriesDone = 0;
        FNoPassword = false;
        SetRunning(true);
        Outline->ExtractMatching("*.*");
        Completed = true;
    } catch (const EAbUserAbort& E) {
        // A stop inside an entry leaves the archive unusable: it is read again for the next Extract.
        Aborted = false;
        try {
            Outline->OpenArchive(Outline->FileName());
            Outline->CollapseAll();
        } catch (const std::exception&) {
            Outline->CloseArchive();
        }
        ShowMessageBox(E.what(), "", mbOK);
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
    }
    SetRunning(false);

    if (!FFailures.empty()) {
        std::string Text = std::to_string(FFailures.size()) + " of " + std::to_string(Outline->EntryCount()) +
                           " entries could not be extracted:";
        for (size_t I = 0; I < FFailures.size() && I < ListedFailures; ++I)
            Text += "\n" + FFailures[I];
        if (FFailures.size() > ListedFailures)
            Text += "\n...";
        ShowMessageBox(Text, "", mbOK);
    }
    if (Completed)
        CompletedPath = Folder;
    const QString Typed = Ui->ExtractPath->currentText();
    if (Ui->ExtractPath->findText(Typed, Qt::MatchFixedString) < 0)
        Ui->ExtractPath->addItem(Typed);
    Ui->ExtractPath->setEditText(Typed);
    if (FCloseAfterRun) {
        FCloseAfterRun = false;
        done(idCancel);
    }
}

void TExtractDlg::CancelBtnClick() {
    if (!FRunning) {
        Aborted = true;
        done(idCancel);
        return;
    }
    // A second press closes the dialog as soon as the extraction has stopped.
    if (Aborted)
        FCloseAfterRun = true;
    Aborted = true;
}

void TExtractDlg::KeepResponsive() {
    if (FSinceEvents.elapsed() < EventIntervalMs)
        return;
    QCoreApplication::processEvents();
    FSinceEvents.start();
}

void TExtractDlg::ZipOutlineArchiveProgress(uint8_t Progress, bool& Abort) {
    // Loading reports progress too; the bar belongs to extractions.
    if (!FRunning) {
        Abort = Aborted;
        return;
    }
    ++FEntriesDone;
    Ui->ProgressBar1->setValue(Progress);
    Ui->ProgressBar1->setVisible(Progress < Ui->ProgressBar1->maximum());
    KeepResponsive();
    Abort = Aborted;
}

void TExtractDlg::ZipOutlineArchiveItemProgress(uint8_t Progress, bool& Abort) {
    // The bar moves within a large entry too: the entries done, plus this one's share.
    const int Count = std::max(Ui->ZipOutline->EntryCount(), 1);
    const int Position = std::min(100, (FEntriesDone * 100 + Progress) / Count);
    if (Position > Ui->ProgressBar1->value())
        Ui->ProgressBar1->setValue(Position);
    KeepResponsive();
    Abort = Aborted;
}

void TExtractDlg::ZipOutlineConfirmOverwrite(std::string& Name, bool& Confirm) {
    if (OverwriteAnswer == idNoToAll || OverwriteAnswer == idYesToAll) {
        Confirm = OverwriteAnswer == idYesToAll;
        return;
    }
    OverwriteAnswer = OverWriteDlg.Ask(QString::fromStdString(Name));
    // A question closed without an answer keeps the file, as No does.
    Confirm = OverwriteAnswer == idYes || OverwriteAnswer == idYesToAll;
}

void TExtractDlg::ZipOutlineNeedPassword(std::string& NewPassword) {
    if (FNoPassword)
        throw EAbZipException("No password given", AbZipInvalidPassword);
    // The archive gives up after its last try without trying what it asks for then.
    if (++FPasswordQuestions >= Ui->ZipOutline->PasswordRetries())
        throw EAbZipInvalidPassword();
    const QString Entry = QString::fromStdString(FCurrentEntry);
    const QString Prompt = FPasswordQuestions > 1 ? "Wrong password for \"" + Entry + "\". Try again:"
                                                  : "\"" + Entry + "\" is encrypted. Password:";
    QString Answer;
    // One refusal holds for the rest of the extraction: the other encrypted entries are skipped.
    if (!AskPassword(Prompt, Answer)) {
        FNoPassword = true;
        throw EAbZipException("No password given", AbZipInvalidPassword);
    }
    NewPassword = Answer.toStdString();
}
