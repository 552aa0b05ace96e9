#include "ui/arcscanu.h"

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "text/Conversion.h"
#include "ui/AbZipOut.h"
#include "ui/Application.h"
#include "ui/ExtractEntry.h"
#include "ui/ExtractU.h"
#include "ui/FolderDialog.h"
#include "ui/HelpWindow.h"
#include "ui/NewMaskU.h"
#include "ui/Shell.h"
#include "ui/WaitCursor.h"
#include "ui_arcscanu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolTip>
#include <QUrl>

namespace {

const QString GoCaption = "&Go";
const QString StopCaption = "&Stop";
const QString AllFiles = "All Files (*.*)";
const char* const Caption = " Locates files within Archives which contain a specific string of text.";

QString Q(const std::string& S) {
    return QString::fromStdString(S);
}

// The file-name part of the program's path up to its first ".".
QString ProgramBaseName() {
    const QString Name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return Name.left(Name.indexOf('.'));
}

// A folder shown to the user ends with "/".
QString ProgramFolderText() {
    return Q(IncludeTrailingSlash(ProgramFolder()));
}

QStringList ItemTexts(const QComboBox* Box) {
    QStringList Texts;
    for (int I = 0; I < Box->count(); ++I)
        Texts << Box->itemText(I);
    return Texts;
}

// Histories keep their first 17 entries under the keys "ss0" to "ss16".
void WriteHistory(TIniFile& Ini, const char* Section, const QStringList& Items) {
    Ini.EraseSection(Section);
    for (int I = 0; I < std::min<qsizetype>(Items.size(), 17); ++I)
        Ini.WriteString(Section, "ss" + std::to_string(I), Items[I].toStdString());
}

// The most recent text goes first and occurs once; the box keeps showing it.
void PushHistory(QComboBox* Box) {
    const QString Text = Box->currentText();
    const int Old = Box->findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (Old >= 0)
        Box->removeItem(Old);
    Box->insertItem(0, Text);
    Box->setCurrentIndex(0);
    Box->setEditText(Text);
}

// A bar whose range is 0..0 is drawn busy; before there is anything to count it stays empty.
void SetProgressMax(QProgressBar* Bar, int Count) {
    const int Max = std::max(Count, 1);
    if (Bar->maximum() != Max)
        Bar->setMaximum(Max);
}

} // namespace

TForm1::TForm1(QWidget* Parent) : QWidget(Parent), Ui(std::make_unique<Ui::TForm1>()) {
    Ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(639, 460);
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        move(Screen->availableGeometry().center() - rect().center());

    // The window is laid out for a small sans serif. Fonts that run wider would cut captions, so labels
    // and check boxes grow to the right to fit their text.
    QFont Face({"MS Sans Serif", "Liberation Sans", "Arimo", "DejaVu Sans"});
    Face.setStyleHint(QFont::SansSerif);
    Face.setPixelSize(11);
    setFont(Face);
    for (QWidget* W :
         std::initializer_list<QWidget*>{Ui->Label1, Ui->Label2, Ui->Label3, Ui->Label4, Ui->Label5,
                                         Ui->CaseChk, Ui->NamesOnlyChk, Ui->SubFoldersChk, Ui->SelfExChk})
        W->resize(std::max(W->width(), W->sizeHint().width()), W->height());

    QStyle* S = style();
    Ui->Image1->setPixmap(S->standardIcon(QStyle::SP_MediaPlay).pixmap(16, 16));
    Ui->Image2->setPixmap(S->standardIcon(QStyle::SP_MediaStop).pixmap(16, 16));
    Ui->GoBtn->setIcon(Ui->Image1->pixmap());
    Ui->CloseBtn->setIcon(S->standardIcon(QStyle::SP_DialogCloseButton));
    Ui->HelpBtn->setIcon(S->standardIcon(QStyle::SP_DialogHelpButton));
    // Typed text is searched as typed: no completion from the history.
    Ui->SearchStr->setCompleter(nullptr);
    Ui->SearchPath->setCompleter(nullptr);
    // Long archive and entry names scroll sideways; one that does not fit shows whole as a tool tip.
    Ui->TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Ui->TreeView1->header()->setStretchLastSection(false);
    Ui->TreeView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Ui->TreeView1->viewport()->installEventFilter(this);
    SetProgressMax(Ui->Progress, 0);

    ApplyScannerDefaults(Scanner);
    Scanner.OnFileFound = std::bind_front(&TForm1::ScannerFileFound, this);
    Scanner.OnProcess = std::bind_front(&TForm1::ScannerProcess, this);
    Scanner.OnProcessDone = std::bind_front(&TForm1::ScannerProcessDone, this);
    Scanner.OnContextFound = std::bind_front(&TForm1::ScannerContextFound, this);
    Scanner.OnEntryFailed = [this](const std::string&, const std::string&, const std::string&) {
        Matches.EntryFailed();
    };

    connect(Ui->SearchStr, &QComboBox::editTextChanged, this, &TForm1::SearchStrChange);
    connect(Ui->SearchPath, &QComboBox::editTextChanged, this, &TForm1::SearchStrChange);
    connect(Ui->GoBtn, &QPushButton::clicked, this, &TForm1::GoBtnClick);
    connect(Ui->BrowseBtn, &QPushButton::clicked, this, &TForm1::BrowseBtnClick);
    connect(Ui->LaunchBtn, &QPushButton::clicked, this, &TForm1::LaunchBtnClick);
    connect(Ui->HelpBtn, &QPushButton::clicked, this, &TForm1::HelpBtnClick);
    DropFileSource1 = new TDropFileSource(this);
    DropFileSource1->setObjectName("DropFileSource1");
    DropFileSource1->OnDrop = std::bind_front(&TForm1::DropFileSource1Drop, this);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &TForm1::HelpBtnClick);
    connect(Ui->FindNextBtn, &QPushButton::clicked, this, &TForm1::FindNextBtnClick);
    connect(Ui->ViewerBtn, &QPushButton::clicked, this, &TForm1::ViewerBtnClick);
    connect(Ui->CloseBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(Ui->TreeView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::TreeView1Change);
    connect(Ui->TreeView1, &QTreeWidget::itemDoubleClicked, this, &TForm1::TreeView1DblClick);
    connect(Ui->AddMaskBtn, &QPushButton::clicked, this, &TForm1::AddMaskBtnClick);
    connect(Ui->DelMaskBtn, &QPushButton::clicked, this, &TForm1::DelMaskBtnClick);
    connect(Ui->MaskTypes, &QListWidget::itemClicked, this, &TForm1::MaskTypesClick);
    // A press on a type's check box is taken by the box, so the pressed type is made current here: "-"
    // and the check handler then act on the type the user touched.
    Ui->MaskTypes->viewport()->installEventFilter(this);
    connect(Ui->MaskTypes, &QListWidget::itemChanged, this, &TForm1::MaskTypesClickCheck);
    // Go is the window's default button: Return in either box starts the search it would start.
    for (QComboBox* Box : {Ui->SearchStr, Ui->SearchPath})
        connect(Box->lineEdit(), &QLineEdit::returnPressed, this, [this] {
            if (Ui->GoBtn->isEnabled() && !Scanner.Running())
                GoBtnClick();
        });

    FormCreate();
}

TForm1::~TForm1() {
    if (!Scanner.Running())
        return;
    Scanner.Stop();
    QEventLoop Loop;
    connect(this, &TForm1::SearchEnded, &Loop, &QEventLoop::quit);
    while (Scanner.Running())
        Loop.exec();
}

void TForm1::FormCreate() {
    setWindowTitle(ProgramBaseName() + Caption);
    LastArchiveNode = nullptr;
    const QString Home = ProgramFolderText();
    IniFileName = SettingsFileName(QCoreApplication::applicationFilePath().toStdString());
    const TIniFile Ini(IniFileName);
    for (const auto& [Section, Box] :
         {std::pair{"SearchStr", Ui->SearchStr}, {"SearchPath", Ui->SearchPath}}) {
        for (const auto& Line : Ini.ReadSectionValues(Section))
            Box->addItem(Q(Line.second));
    }
    if (Ui->SearchPath->count() == 0)
        Ui->SearchPath->addItem(Home);
    // Filling a history does not fill in the search text.
    Ui->SearchStr->setEditText("");

    // Ticks read from the file are not clicks: "All Files" must not tick the rest.
    const QSignalBlocker Quiet(Ui->MaskTypes);
    auto* All = new QListWidgetItem(AllFiles);
    All->setCheckState(Qt::Unchecked);
    Ui->MaskTypes->insertItem(0, All);
    for (const auto& Line : Ini.ReadSectionValues("MaskTypes")) {
        const QString Key = Q(Line.first);
        const QList<QListWidgetItem*> Found = Ui->MaskTypes->findItems(Key, Qt::MatchFixedString);
        QListWidgetItem* Item = Found.isEmpty() ? new QListWidgetItem(Key, Ui->MaskTypes) : Found.first();
        Item->setCheckState(Ini.ReadBool("MaskTypes", Line.first, false) ? Qt::Checked : Qt::Unchecked);
    }

    for (const auto& Line : Ini.ReadSectionValues("ExtractPath"))
        ExtractPaths << Q(Line.second);

    // After start-up the current directory is the last search folder when it still exists.
    QString Last = Q(Ini.ReadString("Options", "LastPath", Home.toStdString()));
    if (Last.isEmpty() || !QDir::setCurrent(Last))
        Last = Home;
    Ui->SearchPath->setEditText(Last);
    LastExtractPath = Q(Ini.ReadString("Options", "LastExtractPath", Home.toStdString()));
    Ui->CaseChk->setChecked(Ini.ReadBool("Options", "CaseChk", false));
    Ui->SubFoldersChk->setChecked(Ini.ReadBool("Options", "SubFoldersChk", false));
    Ui->NamesOnlyChk->setChecked(Ini.ReadBool("Options", "NamesOnlyChk", false));
    // The user cannot tick this disabled box: without a saved state it keeps its design state, or
    // self-extracting archives would never be searched.
    Ui->SelfExChk->setChecked(Ini.ReadBool("Options", "SelfExChk", Ui->SelfExChk->isChecked()));

    RegisterDisplayConversions();
    Ui->RichEdit1->SetDefaultConversion(ConversionClass<THexConversion>());
    DefaultAttributes = Ui->RichEdit1->DefAttributes();
}

void TForm1::FormClose() {
    TIniFile Ini(IniFileName);
    WriteHistory(Ini, "SearchStr", ItemTexts(Ui->SearchStr));
    WriteHistory(Ini, "SearchPath", ItemTexts(Ui->SearchPath));
    Ini.EraseSection("MaskTypes");
    for (int I = 0; I < Ui->MaskTypes->count(); ++I) {
        const QListWidgetItem* Item = Ui->MaskTypes->item(I);
        Ini.WriteBool("MaskTypes", Item->text().toStdString(), Item->checkState() == Qt::Checked);
    }
    WriteHistory(Ini, "ExtractPath", ExtractPaths);
    Ini.WriteString("Options", "LastPath", Ui->SearchPath->currentText().toStdString());
    Ini.WriteString("Options", "LastExtractPath", LastExtractPath.toStdString());
    Ini.WriteBool("Options", "CaseChk", Ui->CaseChk->isChecked());
    Ini.WriteBool("Options", "SubFoldersChk", Ui->SubFoldersChk->isChecked());
    Ini.WriteBool("Options", "NamesOnlyChk", Ui->NamesOnlyChk->isChecked());
    Ini.WriteBool("Options", "SelfExChk", Ui->SelfExChk->isChecked());
    // A settings file that cannot be written must not keep the program from closing.
    try {
        Ini.UpdateFile();
    } catch (const EIniWriteError& E) {
        ShowMessageBox(E.what(), "", mbOK);
    }
}

void TForm1::changeEvent(QEvent* Event) {
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::ActivationChange && isActiveWindow())
        SearchStrChange();
}

void TForm1::SearchStrChange() {
    Ui->GoBtn->setEnabled(!Ui->SearchStr->currentText().isEmpty() &&
                          !Ui->SearchPath->currentText().isEmpty());
}

void TForm1::GoBtnClick() {
    if (Scanner.Running()) {
        Scanner.Stop();
        return;
    }
    TWaitCursor Hourglass;
    ClearResults();
    const QString F = EntryMaskText();
    if (F.isEmpty()) {
        Ui->lblCurrent->setText("");
        ShowMessageBox("You must enable (check) at least one file type to examine.", "", mbOK);
        Ui->MaskTypes->setFocus();
        return;
    }
    const std::string Folder = Ui->SearchPath->currentText().toStdString();
    if (!DirExists(Folder)) {
        Ui->lblCurrent->setText("");
        ShowMessageBox(Format("The folder \"%s\" does not exist.", {Folder}), "", mbOK);
        Ui->SearchPath->setFocus();
        return;
    }
    LockInputs();
    if (!Ui->SearchPath->currentText().endsWith('/'))
        Ui->SearchPath->setEditText(Ui->SearchPath->currentText() + '/');
    PushHistory(Ui->SearchStr);
    PushHistory(Ui->SearchPath);
    StartSearch(F);
}

// The previous search's matches and display go; the status says a search is being prepared.
void TForm1::ClearResults() {
    Ui->lblCurrent->setText("Preparing...");
    Ui->lblCurrent->repaint();
    Ui->TreeView1->clearSelection();
    Ui->TreeView1->clear();
    LastArchiveNode = nullptr;
    Ui->RichEdit1->clear();
    Ui->FNLabel->setText("");
    Ui->MatchLbl->setText("0 found");
}

void TForm1::LockInputs() {
    SetInputsEnabled(false);
    Ui->SelfExChk->setEnabled(false);
    Ui->FindNextBtn->setEnabled(false);
    Ui->ViewerBtn->setEnabled(false);
    Ui->LaunchBtn->setEnabled(false);
}

void TForm1::StartSearch(const QString& EntryMasks) {
    TSearchRequest Request;
    Request.Text = Ui->SearchStr->currentText().toStdString();
    Request.Folder = ExtractFilePath(Ui->SearchPath->currentText().toStdString());
    Request.EntryMasks = EntryMasks.toStdString();
    Request.CaseSensitive = Ui->CaseChk->isChecked();
    Request.NamesOnly = Ui->NamesOnlyChk->isChecked();
    Request.Recursive = Ui->SubFoldersChk->isChecked();
    Request.SelfExtracting = Ui->SelfExChk->isChecked();
    try {
        ApplySearchRequest(Scanner, Request);
        Matches.Start();
        Ui->GoBtn->setText(StopCaption);
        Ui->GoBtn->setIcon(Ui->Image2->pixmap());
        Scanner.Start();
    } catch (const std::exception& E) {
        // A search that cannot start (a search text the context refuses, no thread) must not leave the
        // window locked in the searching state.
        EndSearchIdle();
        Ui->lblCurrent->setText("");
        ShowMessageBox(E.what(), "", mbOK);
    }
}

// For every checked type, in list order, the text between its first "(" and first ")" and a ";".
QString TForm1::EntryMaskText() const {
    QString F;
    for (int I = 0; I < Ui->MaskTypes->count(); ++I) {
        const QListWidgetItem* Item = Ui->MaskTypes->item(I);
        if (Item->checkState() != Qt::Checked)
            continue;
        const QString Text = Item->text();
        const int Open = Text.indexOf('(');
        const int Close = Text.indexOf(')');
        if (Open >= 0 && Close > Open)
            F += Text.mid(Open + 1, Close - Open - 1) + ';';
    }
    return F;
}

// The inputs that a running search must not change: its context is locked meanwhile.
void TForm1::SetInputsEnabled(bool Enabled) {
    for (QWidget* W :
         std::initializer_list<QWidget*>{Ui->SearchStr, Ui->CaseChk, Ui->NamesOnlyChk, Ui->SearchPath,
                                         Ui->BrowseBtn, Ui->SubFoldersChk, Ui->MaskTypes, Ui->AddMaskBtn})
        W->setEnabled(Enabled);
    MaskTypesClick();
}

void TForm1::EndSearchIdle() {
    Ui->GoBtn->setText(GoCaption);
    Ui->GoBtn->setIcon(Ui->Image1->pixmap());
    Ui->Progress->hide();
    Ui->TreeView1->setEnabled(true);
    SetInputsEnabled(true);
}

void TForm1::ScannerFileFound(const std::string& AName, const std::string& APath, int32_t, int64_t,
                              int32_t ACount, TDateTime) {
    Ui->lblCurrent->setText(Q("Examining: " + JoinPath(APath, AName)));
    SetProgressMax(Ui->Progress, ACount);
    Matches.FileFound(APath, AName);
}

void TForm1::ScannerProcess(uint32_t, uint64_t, uint32_t AItem, uint32_t AItemCount, const std::string&,
                            uint64_t, uint64_t) {
    if (Ui->Progress->isHidden())
        Ui->Progress->show();
    SetProgressMax(Ui->Progress, int(std::min<uint32_t>(AItemCount, INT32_MAX)));
    Ui->Progress->setValue(int(std::min<uint32_t>(AItem, INT32_MAX)));
}

void TForm1::ScannerContextFound(const std::string& ArcFilename, const std::string& AFileName, int64_t,
                                 int64_t) {
    QTreeWidget* Tree = Ui->TreeView1;
    const TMatchGrouper::TPlace Place =
        Matches.Add(Ui->SearchPath->currentText().toStdString(), ArcFilename, AFileName);
    switch (Place.Kind) {
    case TMatchGrouper::mkPlainFile:
        Tree->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(Place.Archive)}));
        break;
    case TMatchGrouper::mkSameArchive:
        new QTreeWidgetItem(LastArchiveNode, QStringList{Q(AFileName)});
        break;
    case TMatchGrouper::mkNewArchive: {
        LastArchiveNode = new QTreeWidgetItem(QStringList{Q(Place.Archive)});
        Tree->addTopLevelItem(LastArchiveNode);
        auto* Entry = new QTreeWidgetItem(LastArchiveNode, QStringList{Q(AFileName)});
        LastArchiveNode->setExpanded(true);
        Tree->setCurrentItem(Entry);
        break;
    }
    }
    Ui->MatchLbl->setText(Q(Format("%d/%d", {Matches.ArchiveMatches(), Matches.EntryMatches()})));
}

void TForm1::ScannerProcessDone(uint32_t ACount, uint64_t) {
    Ui->Progress->setValue(0);
    Ui->lblCurrent->setText(Q(DoneText(ACount, Matches.Unexamined())));
    EndSearchIdle();
    QTreeWidget* Tree = Ui->TreeView1;
    if (Tree->topLevelItemCount() > 0) {
        Tree->setCurrentItem(Tree->topLevelItem(0));
        Tree->setCurrentItem(nullptr);
        Tree->clearSelection();
        Tree->scrollToTop();
    }
    MessageBeep();
    // The seeker turns idle only after this handler has returned.
    QMetaObject::invokeMethod(this, &TForm1::ScannerIdle, Qt::QueuedConnection);
}

void TForm1::ScannerIdle() {
    emit SearchEnded();
    if (FClosePending)
        close();
}

void TForm1::closeEvent(QCloseEvent* Event) {
    if (Scanner.Running()) {
        Event->ignore();
        if (FClosePending)
            return;
        if (ShowMessageBox("Search in progress. Are you sure you want to Close Tarnlet?", "", mbYesNo) !=
            idYes)
            return;
        // The worker still reports into this window: let it finish out of sight, then close.
        FClosePending = true;
        Scanner.Stop();
        hide();
        return;
    }
    Event->accept();
    FormClose();
    emit FormClosed();
}

void TForm1::TreeView1Change() {
    if (Scanner.Running() || Ui->GoBtn->text() != GoCaption)
        return;
    ShowSelectedEntry();
}

void TForm1::ShowSelectedEntry() {
    if (Scanner.Running() || !Ui->TreeView1->isVisible())
        return;
    const QList<QTreeWidgetItem*> Selected = Ui->TreeView1->selectedItems();
    if (Selected.isEmpty() || !Selected.first()->parent())
        return;
    const auto [A, E] = EntryOfNode(Selected.first());
    emit EntrySelected(A, E);
    ShowArchiveEntry(A.toStdString(), E.toStdString());
}

std::pair<QString, QString> TForm1::EntryOfNode(const QTreeWidgetItem* Node) const {
    QString E = Node->text(0);
    const int Bracket = E.indexOf('[');
    if (Bracket >= 0)
        E.truncate(Bracket);
    const QString A =
        Q(ExtractFilePath(Ui->SearchPath->currentText().toStdString())) + Node->parent()->text(0);
    return {A, E};
}

std::string TForm1::ArchiveFileOfNode(const QTreeWidgetItem* Node) const {
    // Archive nodes carry upper-cased names; the file system does not fold case.
    return ResolvePathCase((Ui->SearchPath->currentText() + Node->text(0)).toStdString());
}

void TForm1::ShowArchiveEntry(const std::string& ArchivePath, const std::string& EntryName) {
    // Archive nodes carry upper-cased names; the file system does not fold case.
    const std::string Path = ResolvePathCase(ArchivePath);
    const std::string BareName = ExtractFileName(EntryName);
    if (!FileExists(Path) || BareName.empty() || BareName == "." || BareName == "..")
        return;
    TWaitCursor Hourglass;
    std::string TempPath;
    std::string Failure;
    try {
        TempFolder = IncludeTrailingSlash(PrivateTempFolder());
        TempPath = JoinPath(TempFolder, BareName);
        ExtractEntryToFolder(Path, EntryName, TempFolder, Failure);
        FAssociatedProgram.clear();
    } catch (const std::exception& E) {
        ShowMessageBox(E.what(), "", mbOK);
        return;
    }
    Ui->FNLabel->setText(Q(BareName));
    if (!FLastTempFile.empty() && FLastTempFile != TempPath && FileExists(FLastTempFile))
        DeleteFile(FLastTempFile);
    FLastTempFile = TempPath;
    if (FileExists(TempPath)) {
        LoadShownFile(TempPath, EntryName);
    } else if (!Failure.empty()) {
        Ui->RichEdit1->clear();
        ShowMessageBox(Failure, "", mbOK);
    }
}

void TForm1::ShowPlainFile(const std::string& Path) {
    TWaitCursor Hourglass;
    Ui->FNLabel->setText(Q(ExtractFileName(Path)));
    if (FileExists(Path))
        LoadShownFile(Path, Path);
}

void TForm1::LoadShownFile(const std::string& Path, const std::string& ShownName) {
    TRichEdit* Pane = Ui->RichEdit1;
    std::string Failure;
    {
        TUpdateLock Frozen(Pane);
        Pane->SetDefAttributes(DefaultAttributes);
        Pane->SetPlainText(UpperCaseAscii(ExtractFileExt(ShownName)) != ".RTF");
        try {
            Pane->LoadFromFile(Q(Path));
            FindNextBtnClick();
        } catch (const std::exception& E) {
            Failure = E.what();
            Pane->clear();
        }
    }
    FAssociatedProgram = FindAssociatedProgram(Q(Path));
    Ui->LaunchBtn->setEnabled(!FAssociatedProgram.isEmpty());
    if (!Failure.empty())
        ShowMessageBox(Failure, "", mbOK);
}

void TForm1::FindNextBtnClick() {
    if (Ui->NamesOnlyChk->isChecked())
        return;
    TRichEdit* Pane = Ui->RichEdit1;
    const QString Text = Ui->SearchStr->currentText();
    const int Start = Pane->SelStart();
    const int P = Pane->FindText(Text, Start + 1, Pane->TextLength() - Start, Ui->CaseChk->isChecked());
    if (P < 0) {
        ShowMessageBox("No more occurances.", "", mbOK);
        return;
    }
    Pane->SetSelStart(P);
    Pane->SetSelLength(int(Text.length()));
    Pane->ensureCursorVisible();
    Ui->FindNextBtn->setEnabled(true);
    Ui->ViewerBtn->setEnabled(true);
}

void TForm1::TreeView1MouseDown(const QMouseEvent* Event) {
    DragStartPoint = Event->position().toPoint();
}

void TForm1::TreeView1MouseMove(const QMouseEvent* Event) {
    const Qt::MouseButtons Buttons = Event->buttons();
    if ((Buttons != Qt::LeftButton && Buttons != Qt::RightButton) || Event->modifiers() != Qt::NoModifier)
        return;
    const QPoint Moved = Event->position().toPoint() - DragStartPoint;
    if (std::abs(Moved.x()) < 10 && std::abs(Moved.y()) < 10)
        return;
    const QList<QTreeWidgetItem*> Selected = Ui->TreeView1->selectedItems();
    if (Selected.isEmpty())
        return;
    const QTreeWidgetItem* Node = Selected.first();
    DropFileSource1->Files.clear();
    if (Node->parent()) {
        const auto [A, E] = EntryOfNode(Node);
        FDragArchive = A.toStdString();
        FDragEntry = E.toStdString();
        DropFileSource1->Files << "$$$" + A + "$$$" + E;
    } else {
        DropFileSource1->Files << Q(ArchiveFileOfNode(Node));
    }
    DropFileSource1->RunDrag();
}

void TForm1::DropFileSource1Drop(TDropSource&, TDragType, bool& ContinueDrop) {
    QStringList& Files = DropFileSource1->Files;
    if (Files.isEmpty())
        return;
    // Only this window puts "$$$" in front, and never in front of a path: a path holding "$$$" stays a path.
    if (!Files.first().startsWith("$$$")) {
        ContinueDrop = true;
        return;
    }
    const std::string Path = ExtractEntryToTemp(FDragArchive, FDragEntry);
    Files.first() = Q(Path);
    ContinueDrop = FileExists(Path);
}

std::string TForm1::ExtractEntryToTemp(const std::string& ArchivePath, const std::string& EntryName) {
    TWaitCursor Hourglass;
    std::string Failure, Result;
    try {
        Result =
            ExtractEntryToFolder(ArchivePath, EntryName, IncludeTrailingSlash(PrivateTempFolder()), Failure);
    } catch (const std::exception& E) {
        Failure = E.what();
    }
    // The drop target is waiting for its data: the reason is shown once the drag is over.
    if (!Failure.empty())
        QMetaObject::invokeMethod(
            this, [Failure] { ShowMessageBox(Failure, "", mbOK); }, Qt::QueuedConnection);
    return Result;
}

// The desktop opens the shown file with its program; a file gone or without one shows nothing.
void TForm1::LaunchBtnClick() {
    TWaitCursor Hourglass;
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(FLastTempFile)));
}

void TForm1::BrowseBtnClick() {
    const QString Start = Ui->SearchPath->currentText();
    QString Folder = ChooseFolder(this, Start.isEmpty() ? "/" : Start);
    if (Folder.isEmpty())
        return;
    if (!Folder.endsWith('/'))
        Folder += '/';
    Ui->SearchPath->setEditText(Folder);
    SearchStrChange();
}

void TForm1::HelpBtnClick() {
    if (!HelpWindow)
        HelpWindow = new THelpWindow(this);
    HelpWindow->ShowContents(Q(Application().HelpFile));
}

void TForm1::TreeView1DblClick() {
    if (!ExtractDlg || Scanner.Running())
        return;
    const QList<QTreeWidgetItem*> Selected = Ui->TreeView1->selectedItems();
    if (Selected.isEmpty() || Selected.first()->parent())
        return;
    const std::string Path = ArchiveFileOfNode(Selected.first());
    TExtractDlg& Dlg = *ExtractDlg;
    TAbZipOutline& Outline = *Dlg.ZipOutline();
    Dlg.ArcFN()->setText(Q(Path));
    Dlg.Aborted = false;
    try {
        // A file gone since the search is not made anew as an empty archive.
        if (!FileExists(Path))
            throw std::runtime_error(Path);
        Outline.SetFileName(Path);
    } catch (const std::exception&) {
        Outline.CloseArchive();
        ShowPlainFile(Path);
        return;
    }
    if (Outline.BaseDirectory().empty()) {
        if (LastExtractPath.isEmpty())
            LastExtractPath = Q(ProgramFolder());
        try {
            Outline.SetBaseDirectory(LastExtractPath.toStdString());
        } catch (const std::exception&) {
            // A remembered folder that has gone is still offered: Extract asks before making it again.
        }
    }
    QComboBox* Folder = Dlg.ExtractPath();
    Folder->clear();
    Folder->addItems(ExtractPaths);
    Folder->setEditText(Outline.BaseDirectory().empty() ? LastExtractPath : Q(Outline.BaseDirectory()));
    const int Result = Dlg.exec();
    ExtractPaths = ItemTexts(Folder);
    if (Result == idOK)
        LastExtractPath = Folder->currentText();
    if (!Dlg.CompletedPath.empty())
        LastExtractPath = Q(Dlg.CompletedPath);
}

void TForm1::AddMaskBtnClick() {
    TNewMaskDlg Dlg(this);
    if (Dlg.exec() != QDialog::Accepted)
        return;
    const QString Text = Dlg.MaskText();
    if (!Ui->MaskTypes->findItems(Text, Qt::MatchFixedString).isEmpty())
        return;
    auto* Item = new QListWidgetItem(Text);
    Item->setCheckState(Dlg.EnableForNextSearch() ? Qt::Checked : Qt::Unchecked);
    Ui->MaskTypes->addItem(Item);
    Ui->MaskTypes->setCurrentItem(Item);
}

void TForm1::DelMaskBtnClick() {
    QListWidgetItem* Item = Ui->MaskTypes->currentItem();
    if (!Item)
        return;
    if (Item->text() == AllFiles) {
        ShowMessageBox("This File Mask can not be removed.", "", mbOK);
        return;
    }
    if (ShowMessageBox("Permanently Delete \"" + Item->text().toStdString() + "\"", "", mbYesNo) != idYes)
        return;
    delete Item;
    Ui->MaskTypes->setCurrentItem(nullptr);
    MaskTypesClick();
}

void TForm1::MaskTypesClick() {
    Ui->DelMaskBtn->setEnabled(Ui->MaskTypes->isEnabled() && Ui->MaskTypes->currentItem() != nullptr);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == Ui->TreeView1->viewport()) {
        if (Event->type() == QEvent::MouseButtonPress)
            TreeView1MouseDown(static_cast<QMouseEvent*>(Event));
        // A move with a button held drags the node out; it must not move the selection meanwhile.
        if (Event->type() == QEvent::MouseMove &&
            static_cast<QMouseEvent*>(Event)->buttons() != Qt::NoButton) {
            TreeView1MouseMove(static_cast<QMouseEvent*>(Event));
            return true;
        }
    }
    if (Watched == Ui->MaskTypes->viewport() && Event->type() == QEvent::MouseButtonPress) {
        if (QListWidgetItem* Item =
                Ui->MaskTypes->itemAt(static_cast<QMouseEvent*>(Event)->position().toPoint()))
            Ui->MaskTypes->setCurrentItem(Item);
        MaskTypesClick();
        return false;
    }
    if (Watched != Ui->TreeView1->viewport() || Event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(Watched, Event);
    auto* Help = static_cast<QHelpEvent*>(Event);
    const QTreeWidgetItem* Node = Ui->TreeView1->itemAt(Help->pos());
    if (!Node || Ui->TreeView1->viewport()->rect().contains(Ui->TreeView1->visualItemRect(Node)))
        return false; // the tree's own tool tip
    QToolTip::showText(Help->globalPos(), Node->text(0), Ui->TreeView1);
    return true;
}

void TForm1::MaskTypesClickCheck(QListWidgetItem* Item) {
    if (Item->text() != AllFiles || Item->checkState() != Qt::Checked)
        return;
    for (int I = 0; I < Ui->MaskTypes->count(); ++I)
        Ui->MaskTypes->item(I)->setCheckState(Qt::Checked);
}

void TForm1::ViewerBtnClick() {
    emit ViewerRequested(Ui->RichEdit1, DefaultAttributes, QString::fromStdString(FLastTempFile));
}
