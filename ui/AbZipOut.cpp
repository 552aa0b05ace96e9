#include "ui/AbZipOut.h"

#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"
#include "archive/AbUtils.h"
#include "archive/AbZipPrc.h"
#include "platform/DosDate.h"
#include "platform/Files.h"
#include "platform/ScopeGuard.h"
#include "platform/SysUtils.h"

#include <QApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <unordered_map>

namespace {

// The stamp in the locale's short form; fields no calendar knows are shown as stored.
std::string LocaleTimeText(uint32_t Stamp) {
    const uint16_t D = uint16_t(Stamp >> 16), T = uint16_t(Stamp);
    const QDateTime When(QDate(1980 + (D >> 9), (D >> 5) & 15, D & 31),
                         QTime(T >> 11, (T >> 5) & 63, (T & 31) * 2));
    if (!When.isValid())
        return DosDateTimeToText(Stamp);
    return QLocale().toString(When, QLocale::ShortFormat).toStdString();
}

// A small card with two text lines, for attribute lines.
QPixmap BuiltInAttributePicture() {
    QPixmap P(12, 12);
    P.fill(Qt::transparent);
    QPainter Paint(&P);
    Paint.setPen(QColor(0, 0, 128));
    Paint.setBrush(QColor(255, 255, 224));
    Paint.drawRect(1, 1, 9, 9);
    Paint.drawLine(3, 4, 8, 4);
    Paint.drawLine(3, 7, 8, 7);
    return P;
}

QPixmap ThemePicture(const char* Name, QStyle::StandardPixmap Fallback, const QStyle* Style) {
    return QIcon::fromTheme(Name, Style->standardIcon(Fallback)).pixmap(16, 16);
}

// An index's id is its node number, scrambled, with the top bit set on an attribute line (which then names
// its entry). The view hashes ids with rows into tables it probes linearly; plain node numbers, with rows
// that restart in every folder, pack those tables into long runs, and laying out a large tree took minutes.
constexpr quintptr AttributeBit = quintptr(1) << (sizeof(quintptr) * 8 - 1);
constexpr quintptr Scramble = quintptr(0x9E3779B97F4A7C15u);

// The inverse of Scramble modulo the word: each Newton step doubles the correct low bits.
constexpr quintptr Inverse(quintptr Odd) {
    quintptr R = Odd;
    for (int I = 0; I < 6; ++I)
        R *= 2 - Odd * R;
    return R;
}
constexpr quintptr Unscramble = Inverse(Scramble);
static_assert(Scramble * Unscramble == 1);

quintptr IdOf(int Node) {
    return (quintptr(Node) * Scramble) & ~AttributeBit;
}

bool IsLine(quintptr Id) {
    return Id & AttributeBit;
}

size_t NodeOf(quintptr Id) {
    return size_t((Id * Unscramble) & ~AttributeBit);
}

bool HasPictures(TOutlineStyle Style) {
    return Style == osPictureText || Style == osPlusMinusPictureText || Style == osTreePictureText;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

TAbZipOutlineModel::TAbZipOutlineModel(QObject* Parent) : QAbstractItemModel(Parent) {}

int TAbZipOutlineModel::AddNode(int Parent, QString Text, TAbZipItem* Item) {
    const int Id = int(FNodes.size());
    FNodes.push_back({std::move(Text), Item, Parent, 0, {}});
    // Taken after the push, which may move the nodes.
    std::vector<int>& Siblings = Parent < 0 ? FTop : FNodes[size_t(Parent)].Children;
    FNodes.back().Row = int(Siblings.size());
    Siblings.push_back(Id);
    return Id;
}

void TAbZipOutlineModel::Rebuild(const TAbZipArchive* Archive, bool Hierarchy, TAbZipAttributes Attributes) {
    beginResetModel();
    FNodes.clear();
    FTop.clear();
    FLines.clear();
    for (int A = 0; A < AbZipAttributeCount; ++A)
        if (Attributes.Contains(TAbZipAttribute(A)))
            FLines.push_back(TAbZipAttribute(A));
    const int Count = Archive ? Archive->Count() : 0;
    FNodes.reserve(size_t(Count));
    // Children by parent and exact text; the first node of a text is the one paths go into.
    std::unordered_map<std::string, int> Named;
    for (int I = 0; I < Count; ++I) {
        TAbZipItem* Item = Archive->Items(I);
        // An entry replaced by one added under its name goes at the next save.
        if (Item->Action == aaDelete)
            continue;
        const std::string& Name = Item->GetFileName();
        if (!Hierarchy) {
            AddNode(-1, QString::fromStdString(Name), Item);
            continue;
        }
        int Parent = -1;
        size_t Start = 0;
        for (size_t Slash; (Slash = Name.find('/', Start)) != std::string::npos; Start = Slash + 1) {
            std::string Key = std::to_string(Parent) + '/' + Name.substr(Start, Slash - Start);
            auto [Where, Added] = Named.try_emplace(std::move(Key), 0);
            if (Added)
                Where->second =
                    AddNode(Parent, QString::fromStdString(Name.substr(Start, Slash - Start)), nullptr);
            Parent = Where->second;
        }
        const int Node = AddNode(Parent, QString::fromStdString(Name.substr(Start)), Item);
        Named.try_emplace(std::to_string(Parent) + '/' + Name.substr(Start), Node);
    }
    endResetModel();
}

TAbZipOutlineModel::TNodeKind TAbZipOutlineModel::Kind(const QModelIndex& Index) const {
    if (IsLine(Index.internalId()))
        return nkAttribute;
    return FNodes[NodeOf(Index.internalId())].Item ? nkEntry : nkFolder;
}

TAbZipItem* TAbZipOutlineModel::Item(const QModelIndex& Index) const {
    if (!Index.isValid())
        return nullptr;
    return FNodes[NodeOf(Index.internalId())].Item;
}

QModelIndex TAbZipOutlineModel::index(int Row, int Column, const QModelIndex& Parent) const {
    if (Column != 0 || Row < 0 || Row >= rowCount(Parent))
        return {};
    if (!Parent.isValid())
        return createIndex(Row, 0, IdOf(FTop[size_t(Row)]));
    const std::vector<int>& Children = FNodes[NodeOf(Parent.internalId())].Children;
    if (size_t(Row) < Children.size())
        return createIndex(Row, 0, IdOf(Children[size_t(Row)]));
    return createIndex(Row, 0, Parent.internalId() | AttributeBit);
}

QModelIndex TAbZipOutlineModel::parent(const QModelIndex& Index) const {
    if (!Index.isValid())
        return {};
    const quintptr Id = Index.internalId();
    const int Parent = IsLine(Id) ? int(NodeOf(Id)) : FNodes[NodeOf(Id)].Parent;
    return Parent < 0 ? QModelIndex() : createIndex(FNodes[size_t(Parent)].Row, 0, IdOf(Parent));
}

int TAbZipOutlineModel::rowCount(const QModelIndex& Parent) const {
    if (!Parent.isValid())
        return int(FTop.size());
    if (IsLine(Parent.internalId()))
        return 0;
    const TNode& Node = FNodes[NodeOf(Parent.internalId())];
    // Attribute lines come after the nodes below an entry.
    return int(Node.Children.size() + (Node.Item ? FLines.size() : 0));
}

int TAbZipOutlineModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TAbZipOutlineModel::hasChildren(const QModelIndex& Parent) const {
    return rowCount(Parent) > 0;
}

Qt::ItemFlags TAbZipOutlineModel::flags(const QModelIndex& Index) const {
    // Saying so spares the view a lookup of every attribute line when it lays the tree out.
    if (Index.isValid() && IsLine(Index.internalId()))
        return QAbstractItemModel::flags(Index) | Qt::ItemNeverHasChildren;
    return QAbstractItemModel::flags(Index);
}

QString TAbZipOutlineModel::AttributeText(const TAbZipItem& Item, int Line) const {
    return QString::fromStdString(AbZipAttributeLine(Item, FLines[size_t(Line)], LocaleTimeText));
}

QVariant TAbZipOutlineModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid())
        return {};
    const quintptr Id = Index.internalId();
    const bool Attribute = IsLine(Id);
    const TNode& Node = FNodes[NodeOf(Id)];
    if (Role == Qt::DisplayRole)
        return Attribute ? AttributeText(*Node.Item, Index.row() - int(Node.Children.size())) : Node.Text;
    if (Role != Qt::DecorationRole || !ShowPictures)
        return {};
    if (Attribute)
        return PictureZipAttribute;
    if (Node.Item)
        return PictureFile;
    return IsExpanded && IsExpanded(Index) ? PictureOpen : PictureClosed;
}

// ---------------------------------------------------------------------------------------------------------

TAbZipDisplayOutline::TAbZipDisplayOutline(QWidget* Parent) : QTreeView(Parent) {
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setTextElideMode(Qt::ElideNone);
    setDropIndicatorShown(false);
    // The column takes the width of the longest row in view, so long names scroll instead of being cut.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void TAbZipDisplayOutline::SetOutlineStyle(TOutlineStyle Value) {
    FOutlineStyle = Value;
    if (auto* M = qobject_cast<TAbZipOutlineModel*>(model()))
        M->ShowPictures = HasPictures(Value);
    setRootIsDecorated(Value != osText && Value != osPictureText);
    viewport()->update();
}

void TAbZipDisplayOutline::wheelEvent(QWheelEvent* Event) {
    Event->accept();
    QModelIndex Row = currentIndex();
    if (!Row.isValid())
        return;
    if (model()->hasChildren(Row))
        expand(Row);
    FWheelRest += Event->angleDelta().y();
    int Steps = FWheelRest / 120;
    FWheelRest -= Steps * 120;
    for (; Steps > 0; --Steps)
        if (QModelIndex Above = indexAbove(Row); Above.isValid())
            Row = Above;
    for (; Steps < 0; ++Steps)
        if (QModelIndex Below = indexBelow(Row); Below.isValid())
            Row = Below;
    setCurrentIndex(Row);
}

void TAbZipDisplayOutline::dragEnterEvent(QDragEnterEvent* Event) {
    dragMoveEvent(Event);
}

void TAbZipDisplayOutline::dragMoveEvent(QDragMoveEvent* Event) {
    if (OnFileDropped && Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TAbZipDisplayOutline::dropEvent(QDropEvent* Event) {
    if (!OnFileDropped || !Event->mimeData()->hasUrls()) {
        Event->ignore();
        return;
    }
    Event->acceptProposedAction();
    for (const QUrl& Url : Event->mimeData()->urls())
        if (Url.isLocalFile())
            OnFileDropped(Url.toLocalFile().toStdString());
    QWidget* Top = window();
    if (Top->isMinimized())
        Top->showNormal();
    else
        Top->raise();
}

void TAbZipDisplayOutline::drawBranches(QPainter* Painter, const QRect& Rect,
                                        const QModelIndex& Index) const {
    const bool Tree = FOutlineStyle == osTreeText || FOutlineStyle == osTreePictureText;
    const bool PlusMinus = FOutlineStyle == osPlusMinusText || FOutlineStyle == osPlusMinusPictureText;
    if (!Tree && !PlusMinus)
        return;
    const int Indent = indentation();
    const int Right = Rect.right() + 1;
    const int MidY = Rect.top() + Rect.height() / 2;
    const int OwnX = Right - Indent / 2;
    const bool Expandable = model()->hasChildren(Index);
    if (Tree) {
        Painter->save();
        Painter->setPen(QPen(Qt::black, 1));
        const bool More = Index.sibling(Index.row() + 1, 0).isValid();
        // Nothing above the first row to connect to.
        const bool First = Index.row() == 0 && !Index.parent().isValid();
        Painter->drawLine(OwnX, First ? MidY : Rect.top(), OwnX, More ? Rect.bottom() : MidY);
        Painter->drawLine(OwnX, MidY, Right, MidY);
        int X = OwnX - Indent;
        for (QModelIndex Up = Index.parent(); Up.isValid() && X > Rect.left(); Up = Up.parent(), X -= Indent)
            if (Up.sibling(Up.row() + 1, 0).isValid())
                Painter->drawLine(X, Rect.top(), X, Rect.bottom());
        Painter->restore();
    }
    if (!Expandable)
        return;
    const bool Open = isExpanded(Index);
    const QPixmap& Sign = Open ? PictureMinus : PicturePlus;
    if (!Sign.isNull()) {
        Painter->drawPixmap(OwnX - Sign.width() / 2, MidY - Sign.height() / 2, Sign);
        return;
    }
    // The classic boxed sign when no picture was given.
    Painter->save();
    const QRect Square(OwnX - 4, MidY - 4, 8, 8);
    Painter->setPen(palette().color(QPalette::Text));
    Painter->fillRect(Square, palette().base());
    Painter->drawRect(Square);
    Painter->drawLine(Square.left() + 2, MidY, Square.right() - 2, MidY);
    if (!Open)
        Painter->drawLine(OwnX, Square.top() + 2, OwnX, Square.bottom() - 2);
    Painter->restore();
}

// ---------------------------------------------------------------------------------------------------------

TAbCustomZipOutline::TAbCustomZipOutline(QWidget* Parent)
    : QWidget(Parent), FDisplay(new TAbZipDisplayOutline(this)), FModel(new TAbZipOutlineModel(this)) {
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(FDisplay);
    FDisplay->setModel(FModel);
    FModel->IsExpanded = [this](const QModelIndex& Index) { return FDisplay->isExpanded(Index); };
    FDisplay->SetOutlineStyle(FDisplay->OutlineStyle());
    const QStyle* S = style();
    FModel->PictureOpen = ThemePicture("folder-open", QStyle::SP_DirOpenIcon, S);
    FModel->PictureClosed = ThemePicture("folder", QStyle::SP_DirClosedIcon, S);
    FModel->PictureFile = ThemePicture("text-x-generic", QStyle::SP_FileIcon, S);
    FModel->PictureZipAttribute = BuiltInAttributePicture();
    resize(300, 143);
}

TAbCustomZipOutline::~TAbCustomZipOutline() {
    try {
        FreeArchive();
    } catch (const std::exception&) {
        // Nothing can be reported while the control goes away; the archive file stays as it was.
        FArchive.reset();
    }
}

std::unique_ptr<TAbZipArchive> TAbCustomZipOutline::OpenFile(const std::string& Name) const {
    if (!FileExists(Name))
        return std::make_unique<TAbZipArchive>(Name, fmCreate);
    try {
        return std::make_unique<TAbZipArchive>(Name, fmOpenReadWrite | fmShareDenyWrite);
    } catch (const EFOpenError&) {
        // An archive the user may not change (read-only file or medium) can still be listed and extracted.
        return std::make_unique<TAbZipArchive>(Name, fmOpenRead | fmShareDenyNone);
    }
}

void TAbCustomZipOutline::SetFileName(const std::string& Value) {
    if (FArchive && FArchive->Status() == asBusy)
        throw EAbArchiveBusy();
    FFileName = Value;
    FreeArchive();
    if (!Value.empty()) {
        try {
            FArchive = OpenFile(Value);
            ConfigureArchive();
            FArchive->Load();
        } catch (...) {
            // What cannot be read is not left half open.
            FArchive.reset();
            FFileName.clear();
            Rebuild();
            throw;
        }
    }
    Rebuild();
    if (OnChange)
        OnChange(this);
}

void TAbCustomZipOutline::CloseArchive() {
    if (!FFileName.empty())
        SetFileName("");
}

void TAbCustomZipOutline::FreeArchive() {
    if (!FArchive)
        return;
    FArchive->Save();
    FArchive.reset();
}

void TAbCustomZipOutline::ConfigureArchive() {
    TAbZipArchive& A = *FArchive;
    A.AutoSave = FAutoSave;
    A.CompressionMethodToUse = FCompressionMethodToUse;
    try {
        A.SetBaseDirectory(FBaseDirectory);
    } catch (const EAbNoSuchDirectory&) {
        // A remembered folder that has gone does not keep the archive from opening; extracting there
        // fails until a folder that exists is set.
    }
    A.DeflationOption = FDeflationOption;
    A.DOSMode = FDOSMode;
    A.ExtractOptions = FExtractOptions;
    A.StoreOptions = FStoreOptions;
    A.Password = FPassword;
    A.PasswordRetries = FPasswordRetries;
    A.OnRequestLastDisk = OnRequestLastDisk;
    A.OnRequestNthDisk = OnRequestNthDisk;
    A.OnRequestBlankDisk = OnRequestBlankDisk;

    A.OnArchiveProgress = [this](void*, uint8_t Progress, bool& Abort) {
        Abort = false;
        if (OnArchiveProgress)
            OnArchiveProgress(this, Progress, Abort);
    };
    A.OnArchiveItemProgress = [this](void*, TAbArchiveItem* Item, uint8_t Progress, bool& Abort) {
        Abort = false;
        if (OnArchiveItemProgress)
            OnArchiveItemProgress(this, Item, Progress, Abort);
    };
    A.OnConfirmOverwrite = [this](std::string& Name, bool& Confirm) {
        Confirm = true;
        if (OnConfirmOverwrite)
            OnConfirmOverwrite(Name, Confirm);
    };
    A.OnConfirmProcessItem = [this](void*, TAbArchiveItem* Item, TAbProcessType Type, bool& Confirm) {
        Confirm = true;
        if (OnConfirmProcessItem)
            OnConfirmProcessItem(this, Item, Type, Confirm);
    };
    A.OnConfirmSave = [this](void*, bool& Confirm) {
        Confirm = true;
        if (OnConfirmSave)
            OnConfirmSave(this, Confirm);
    };
    A.OnProcessItemFailure = [this](void*, TAbArchiveItem* Item, TAbProcessType Type, TAbErrorClass Class,
                                    int Code, const std::string& Message) {
        if (OnProcessItemFailure)
            OnProcessItemFailure(this, Item, Type, Class, Code, Message);
    };
    A.OnNeedPassword = [this](void*, std::string& NewPassword) {
        if (OnNeedPassword)
            OnNeedPassword(this, NewPassword);
        SetPassword(NewPassword);
    };
    A.OnLoad = [this](void*) {
        if (OnLoad)
            OnLoad(this);
    };
    A.OnSave = [this](void*) {
        if (OnSave)
            OnSave(this);
    };
    A.ExtractHandler = UnzipItemToFile;
    A.InsertHandler = ZipItemFromFile;
}

void TAbCustomZipOutline::Rebuild() {
    FModel->Rebuild(FArchive.get(), FHierarchy, FAttributes);
    if (FArchive)
        ExpandAll();
}

void TAbCustomZipOutline::SetBaseDirectory(const std::string& Value) {
    if (!FArchive) {
        FBaseDirectory = Value;
        return;
    }
    FArchive->SetBaseDirectory(Value);
    FBaseDirectory = FArchive->BaseDirectory();
}

void TAbCustomZipOutline::SetExtractOptions(TAbExtractOptions Value) {
    FExtractOptions = Value;
    if (FArchive)
        FArchive->ExtractOptions = Value;
}

void TAbCustomZipOutline::SetHierarchy(bool Value) {
    FHierarchy = Value;
    Rebuild();
}

void TAbCustomZipOutline::SetAttributes(TAbZipAttributes Value) {
    FAttributes = Value;
    Rebuild();
}

void TAbCustomZipOutline::SetDOSMode(bool Value) {
    FDOSMode = Value;
    if (FArchive)
        FArchive->DOSMode = Value;
}

void TAbCustomZipOutline::SetAutoSave(bool Value) {
    FAutoSave = Value;
    if (FArchive)
        FArchive->AutoSave = Value;
}

void TAbCustomZipOutline::SetCompressionMethodToUse(TAbZipSupportedMethod Value) {
    FCompressionMethodToUse = Value;
    if (FArchive)
        FArchive->CompressionMethodToUse = Value;
}

void TAbCustomZipOutline::SetDeflationOption(TAbZipDeflationOption Value) {
    FDeflationOption = Value;
    if (FArchive)
        FArchive->DeflationOption = Value;
}

void TAbCustomZipOutline::SetStoreOptions(TAbStoreOptions Value) {
    FStoreOptions = Value;
    if (FArchive)
        FArchive->StoreOptions = Value;
}

void TAbCustomZipOutline::SetPassword(const std::string& Value) {
    FPassword = Value;
    if (FArchive)
        FArchive->Password = Value;
}

void TAbCustomZipOutline::SetPasswordRetries(uint8_t Value) {
    FPasswordRetries = Value;
    if (FArchive)
        FArchive->PasswordRetries = Value;
}

void TAbCustomZipOutline::SetPicturePlus(const QPixmap& Value) {
    FDisplay->PicturePlus = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::SetPictureMinus(const QPixmap& Value) {
    FDisplay->PictureMinus = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::SetPictureOpen(const QPixmap& Value) {
    FModel->PictureOpen = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::SetPictureClosed(const QPixmap& Value) {
    FModel->PictureClosed = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::SetPictureFile(const QPixmap& Value) {
    FModel->PictureFile = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::SetPictureZipAttribute(const QPixmap& Value) {
    FModel->PictureZipAttribute = Value;
    FDisplay->viewport()->update();
}

void TAbCustomZipOutline::ExtractMatching(const std::string& Mask) {
    if (!FArchive)
        throw EAbNoArchive();
    // Folder entries have no name part for a mask to match; they make their folders, empty ones too.
    for (int I = 0; I < FArchive->Count(); ++I) {
        std::string Name = FArchive->Items(I)->GetFileName();
        if (!Name.empty() && Name.back() == '/' && NameMatchesMask(Name.substr(0, Name.size() - 1), Mask))
            FArchive->ExtractAt(I, "");
    }
    FArchive->ExtractFiles(Mask);
}

void TAbCustomZipOutline::AddFiles(const std::string& FileMask) {
    if (!FArchive)
        throw EAbNoArchive();
    // Saving drops replaced entries, which the tree still points to.
    TScopeGuard Refresh([this] { Rebuild(); });
    FArchive->AddFiles(FileMask);
}

void TAbCustomZipOutline::CollapseAll() {
    FDisplay->LayOutAfresh();
    for (int I = 0; I < FModel->rowCount(); ++I)
        FDisplay->collapse(FModel->index(I, 0));
}

void TAbCustomZipOutline::ExpandAll() {
    FDisplay->LayOutAfresh();
    std::vector<QModelIndex> Pending{QModelIndex()};
    while (!Pending.empty()) {
        const QModelIndex Parent = Pending.back();
        Pending.pop_back();
        for (int I = 0; I < FModel->rowCount(Parent); ++I)
            if (QModelIndex Row = FModel->index(I, 0, Parent); FModel->hasChildren(Row)) {
                FDisplay->expand(Row);
                Pending.push_back(Row);
            }
    }
}

void TAbCustomZipOutline::SetOnWindowsDrop(TWindowsDropEvent Value) {
    FOnWindowsDrop = std::move(Value);
    const bool Accept = bool(FOnWindowsDrop);
    FDisplay->setAcceptDrops(Accept);
    FDisplay->viewport()->setAcceptDrops(Accept);
    if (Accept)
        FDisplay->OnFileDropped = [this](const std::string& Name) { WindowsDrop(Name); };
    else
        FDisplay->OnFileDropped = nullptr;
}

void TAbCustomZipOutline::WindowsDrop(const std::string& Name) {
    if (FOnWindowsDrop)
        FOnWindowsDrop(this, Name);
}
