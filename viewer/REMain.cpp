#include "viewer/REMain.h"

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"
#include "ui/RichEdit.h"
#include "ui/WaitCursor.h"
#include "ui_REMain.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>
#include <QUrl>

namespace {

const QString Untitled = "Untitled";
const QString TextFilter = "Text Files (*.TXT *.txt)";
const QString FileFilter = "Rich Text Files (*.RTF *.rtf);;" + TextFilter;

QString Q(const std::string& S) {
    return QString::fromStdString(S);
}

TViewerForm::TDialogs QtDialogs() {
    return {
        [](QWidget* Owner, const QString& Folder, QString& Filter) {
            return QFileDialog::getOpenFileName(Owner, {}, Folder, FileFilter, &Filter);
        },
        [](QWidget* Owner, const QString& Folder, QString& Filter) {
            return QFileDialog::getSaveFileName(Owner, {}, Folder, FileFilter, &Filter);
        },
        [](QWidget* Owner, QPrinter& Printer) {
            return QPrintDialog(&Printer, Owner).exec() == QDialog::Accepted;
        },
        [](QWidget* Owner, QFont& Font) {
            bool Ok = false;
            const QFont Chosen = QFontDialog::getFont(&Ok, Font, Owner);
            if (Ok)
                Font = Chosen;
            return Ok;
        },
    };
}

// The first dropped file that is on this machine, or nothing.
QString FirstDroppedFile(const QMimeData* Data) {
    if (!Data || !Data->hasUrls())
        return {};
    const QList<QUrl> Urls = Data->urls();
    return Urls.isEmpty() || !Urls.first().isLocalFile() ? QString() : Urls.first().toLocalFile();
}

} // namespace

TViewerForm::TViewerForm(QWidget* Parent)
    : QMainWindow(Parent), Dialogs(QtDialogs()), Ui(std::make_unique<Ui::TViewerForm>()) {
    Ui->setupUi(this);
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        move(Screen->availableGeometry().center() - rect().center());
    // Panels hide while the status bar shows a hint, as one simple panel would.
    FCaretPanel = new QLabel(this);
    FCaretPanel->setFixedWidth(120);
    FModifiedPanel = new QLabel(this);
    FModifiedPanel->setFixedWidth(60);
    FModifiedPanel->setAlignment(Qt::AlignCenter);
    auto* Spare = new QLabel(this);
    Spare->setFixedWidth(50);
    for (QLabel* Panel : {FCaretPanel, FModifiedPanel, Spare})
        statusBar()->addWidget(Panel);
    SetIcons();

    connect(Ui->FileNewCmd, &QAction::triggered, this, &TViewerForm::FileNew);
    connect(Ui->FileOpenCmd, &QAction::triggered, this, &TViewerForm::FileOpen);
    connect(Ui->FileSaveCmd, &QAction::triggered, this, &TViewerForm::FileSave);
    connect(Ui->FileSaveAsCmd, &QAction::triggered, this, &TViewerForm::FileSaveAs);
    connect(Ui->FilePrintCmd, &QAction::triggered, this, &TViewerForm::FilePrint);
    connect(Ui->FileExitCmd, &QAction::triggered, this, &QWidget::close);
    connect(Ui->EditUndoCmd, &QAction::triggered, Ui->Editor, &QTextEdit::undo);
    connect(Ui->EditCutCmd, &QAction::triggered, Ui->Editor, &QTextEdit::cut);
    connect(Ui->EditCopyCmd, &QAction::triggered, Ui->Editor, &QTextEdit::copy);
    connect(Ui->EditPasteCmd, &QAction::triggered, Ui->Editor, &QTextEdit::paste);
    connect(Ui->EditFontCmd, &QAction::triggered, this, &TViewerForm::SelectFont);

    TRichEdit* E = Ui->Editor;
    connect(E, &QTextEdit::cursorPositionChanged, this, &TViewerForm::ShowCaretPosition);
    connect(E, &QTextEdit::textChanged, this, [this] { ShowModifiedState(Ui->Editor->Modified()); });
    for (auto Signal : {&QTextEdit::selectionChanged, &QTextEdit::textChanged})
        connect(E, Signal, this, &TViewerForm::ActionList2Update);
    connect(E, &QTextEdit::undoAvailable, this, &TViewerForm::ActionList2Update);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TViewerForm::ActionList2Update);
    // Files dropped on the text open; other drops (text dragged inside it) stay the editor's.
    setAcceptDrops(true);
    E->viewport()->installEventFilter(this);
    FormCreate();
}

TViewerForm::~TViewerForm() = default;

TRichEdit* TViewerForm::Editor() const {
    return Ui->Editor;
}

void TViewerForm::FormCreate() {
    SetFilename(Untitled);
    ShowCaretPosition();
    QTextCharFormat Default = Ui->Editor->DefAttributes();
    Default.setFont(QApplication::font());
    Ui->Editor->SetDefAttributes(Default);
    ApplyTextMargins();
    ActionList2Update();
}

// The desktop's icons where it has a theme, the widget style's otherwise: the bar is never blank.
void TViewerForm::SetIcons() {
    const struct {
        QAction* Action;
        const char* Theme;
        QStyle::StandardPixmap Fallback;
    } Icons[] = {
        {Ui->FileNewCmd, "document-new", QStyle::SP_FileIcon},
        {Ui->FileOpenCmd, "document-open", QStyle::SP_DialogOpenButton},
        {Ui->FileSaveCmd, "document-save", QStyle::SP_DialogSaveButton},
        {Ui->FilePrintCmd, "document-print", QStyle::SP_ComputerIcon},
        {Ui->EditUndoCmd, "edit-undo", QStyle::SP_ArrowBack},
        {Ui->EditCutCmd, "edit-cut", QStyle::SP_TrashIcon},
        {Ui->EditCopyCmd, "edit-copy", QStyle::SP_FileDialogContentsView},
        {Ui->EditPasteCmd, "edit-paste", QStyle::SP_DialogApplyButton},
    };
    for (const auto& I : Icons)
        I.Action->setIcon(QIcon::fromTheme(I.Theme, style()->standardIcon(I.Fallback)));
}

void TViewerForm::SetFilename(const QString& Value) {
    if (Value != FFilename)
        FSaveAsText = false;
    FFilename = Value;
    setWindowTitle(Q(Format("%s - %s", {ExtractFileName(Value.toStdString()), Application().Title})));
}

void TViewerForm::TakeOver(const TRichEdit& Pane, const QTextCharFormat& DefaultAttributes,
                           const std::string& LastTempFile) {
    Ui->Editor->SetDefAttributes(DefaultAttributes);
    {
        TWaitCursor Hourglass;
        Ui->Editor->clear();
        try {
            // The converted rendering is what a plain pane shows; a rich one came from the file.
            if (Pane.PlainText())
                Ui->Editor->setPlainText(Pane.toPlainText());
            else
                Ui->Editor->LoadFromFile(Q(LastTempFile));
        } catch (const std::exception& E) {
            ShowMessageBox(E.what(), "", mbOK);
        }
        SetFilename(Q(ExtractFileName(LastTempFile)));
    }
}

void TViewerForm::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop Loop;
    connect(this, &TViewerForm::Closed, &Loop, &QEventLoop::quit);
    Loop.exec();
}

void TViewerForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    ShowCaretPosition();
    ShowModifiedState(Ui->Editor->Modified());
    Ui->Editor->setFocus();
    Ui->Editor->SetModified(false);
}

void TViewerForm::closeEvent(QCloseEvent* Event) {
    if (!ConfirmDiscard()) {
        Event->ignore();
        return;
    }
    Event->accept();
    emit Closed();
}

void TViewerForm::resizeEvent(QResizeEvent* Event) {
    QMainWindow::resizeEvent(Event);
    ApplyTextMargins();
    ShowCaretPosition();
}

void TViewerForm::dragEnterEvent(QDragEnterEvent* Event) {
    if (!FirstDroppedFile(Event->mimeData()).isEmpty())
        Event->acceptProposedAction();
}

void TViewerForm::dropEvent(QDropEvent* Event) {
    const QString Name = FirstDroppedFile(Event->mimeData());
    if (Name.isEmpty())
        return;
    Event->acceptProposedAction();
    if (ConfirmDiscard())
        OpenDocument(Name);
}

bool TViewerForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == Ui->Editor->viewport()) {
        if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
            auto* Drag = static_cast<QDragMoveEvent*>(Event);
            if (!FirstDroppedFile(Drag->mimeData()).isEmpty()) {
                Drag->acceptProposedAction();
                return true;
            }
        } else if (Event->type() == QEvent::Drop &&
                   !FirstDroppedFile(static_cast<QDropEvent*>(Event)->mimeData()).isEmpty()) {
            dropEvent(static_cast<QDropEvent*>(Event));
            return true;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}

bool TViewerForm::ConfirmDiscard() {
    if (!Ui->Editor->Modified())
        return true;
    switch (ShowMessageBox(Format("Save changes to %s?", {FFilename.toStdString()}), "", mbYesNoCancel)) {
    case idYes:
        FileSave();
        // A save that was cancelled or failed keeps the changes, and the window with them.
        return !Ui->Editor->Modified();
    case idNo:
        return true;
    default:
        return false;
    }
}

void TViewerForm::FileNew() {
    SetFilename(Untitled);
    Ui->Editor->clear();
    Ui->Editor->SetModified(false);
    ShowModifiedState(false);
}

void TViewerForm::FileOpen() {
    if (!ConfirmDiscard())
        return;
    QString Filter;
    const QString Name = Dialogs.Open(this, Q(ProgramFolder()), Filter);
    if (!Name.isEmpty())
        OpenDocument(Name);
}

bool TViewerForm::OpenDocument(const QString& FileName) {
    try {
        Ui->Editor->LoadFromFile(FileName);
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
        return false;
    }
    SetFilename(FileName);
    Ui->Editor->setFocus();
    Ui->Editor->SetModified(false);
    ShowModifiedState(false);
    return true;
}

void TViewerForm::FileSave() {
    if (FFilename == Untitled) {
        FileSaveAs();
        return;
    }
    SaveTo(FFilename, FSaveAsText || FFilename.endsWith(".txt", Qt::CaseInsensitive));
}

void TViewerForm::FileSaveAs() {
    QString Filter;
    const QString Name = Dialogs.Save(this, Q(ProgramFolder()), Filter);
    if (Name.isEmpty())
        return;
    if (FileExists(Name.toStdString()) &&
        ShowMessageBox(Format("OK to overwrite %s", {Name.toStdString()}), "", mbYesNoCancel) != idYes)
        return;
    // A name the user gives as text, or the text filter, gets plain text rather than rich-text markup.
    SaveTo(Name, Filter == TextFilter || Name.endsWith(".txt", Qt::CaseInsensitive));
}

void TViewerForm::SaveTo(const QString& Name, bool AsPlainText) {
    try {
        Ui->Editor->SaveToFile(Name, AsPlainText);
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
        return;
    }
    SetFilename(Name);
    FSaveAsText = AsPlainText;
    Ui->Editor->SetModified(false);
    ShowModifiedState(false);
}

void TViewerForm::FilePrint() {
    QPrinter Printer;
    if (!Dialogs.Print(this, Printer))
        return;
    Printer.setDocName(FFilename);
    Ui->Editor->document()->print(&Printer);
}

void TViewerForm::SelectFont() {
    QTextCursor C = Ui->Editor->textCursor();
    QFont Font = C.hasSelection() ? C.charFormat().font() : Ui->Editor->DefAttributes().font();
    if (Dialogs.Font(this, Font)) {
        // With a selection the selected text changes, otherwise the default text of the whole editor.
        if (C.hasSelection()) {
            QTextCharFormat F;
            F.setFont(Font);
            C.mergeCharFormat(F);
        } else {
            QTextCharFormat Default = Ui->Editor->DefAttributes();
            Default.setFont(Font);
            Ui->Editor->SetDefAttributes(Default);
        }
    }
    ShowCaretPosition();
    Ui->Editor->setFocus();
}

void TViewerForm::ShowCaretPosition() {
    const int Pos = Ui->Editor->SelStart();
    const QTextBlock Line = Ui->Editor->document()->findBlock(Pos);
    FCaretPanel->setText(
        Q(Format("Line: %3d   Col: %3d", {Line.blockNumber() + 1, Pos - Line.position() + 1})));
}

void TViewerForm::ShowModifiedState(bool Modified) {
    FModifiedPanel->setText(Modified ? "Modified" : "");
}

void TViewerForm::ApplyTextMargins() {
    Ui->Editor->document()->setDocumentMargin(6);
}

void TViewerForm::ActionList2Update() {
    const bool Selected = Ui->Editor->SelLength() > 0;
    Ui->EditCutCmd->setEnabled(Selected);
    Ui->EditCopyCmd->setEnabled(Selected);
    Ui->EditUndoCmd->setEnabled(Ui->Editor->CanUndo());
    Ui->EditPasteCmd->setEnabled(Ui->Editor->canPaste());
}
