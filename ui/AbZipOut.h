#pragma once
// The zip outline: a control that opens one zip archive, shows its entries as a tree (by folders or flat,
// each entry with its attribute lines) and extracts them, passing the archive's events on as its own.

#include "archive/Abziptyp.h"
#include "archive/ZipAttributes.h"

#include <QAbstractItemModel>
#include <QPixmap>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TOutlineStyle {
    osText,
    osPlusMinusText,
    osPictureText,
    osPlusMinusPictureText,
    osTreeText,
    osTreePictureText,
};

using TWindowsDropEvent = std::function<void(void* Sender, const std::string& FileName)>;
using TNotifyEvent = std::function<void(void* Sender)>;

// The rows of the outline. Entries are nodes of their own; their attribute lines are made from the entry
// when a view first asks for them, so a large archive costs one node per entry and folder.
class TAbZipOutlineModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum TNodeKind { nkFolder, nkEntry, nkAttribute };

    explicit TAbZipOutlineModel(QObject* Parent = nullptr);

    // Rebuilds the nodes for Archive (none when null) by folders or flat.
    void Rebuild(const TAbZipArchive* Archive, bool Hierarchy, TAbZipAttributes Attributes);

    TNodeKind Kind(const QModelIndex& Index) const;
    // The entry of an entry node or of an attribute line; null for folders.
    TAbZipItem* Item(const QModelIndex& Index) const;

    // Pictures by node kind; null pixmaps show nothing.
    QPixmap PictureOpen, PictureClosed, PictureFile, PictureZipAttribute;
    bool ShowPictures = true;
    // Expanded folders show PictureOpen; the view keeps this in step.
    std::function<bool(const QModelIndex&)> IsExpanded;

    QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
    QModelIndex parent(const QModelIndex& Index) const override;
    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    bool hasChildren(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

private:
    struct TNode {
        QString Text;
        TAbZipItem* Item = nullptr; // null for folders
        int Parent = -1;            // -1 for top-level nodes
        int Row = 0;
        std::vector<int> Children;
    };

    int AddNode(int Parent, QString Text, TAbZipItem* Item);
    const std::vector<int>& ChildrenOf(int Node) const {
        return Node < 0 ? FTop : FNodes[size_t(Node)].Children;
    }
    QString AttributeText(const TAbZipItem& Item, int Line) const;

    std::vector<TNode> FNodes;
    std::vector<int> FTop;
    std::vector<TAbZipAttribute> FLines; // the attribute lines each entry gets, in order
};

// The tree display: rows, pictures, the mouse wheel and files dropped from the desktop.
class TAbZipDisplayOutline : public QTreeView {
    Q_OBJECT
public:
    explicit TAbZipDisplayOutline(QWidget* Parent = nullptr);

    TOutlineStyle OutlineStyle() const { return FOutlineStyle; }
    void SetOutlineStyle(TOutlineStyle Value);

    QPixmap PicturePlus, PictureMinus;
    // Rows expanded or collapsed after this are laid out together once, instead of the view moving every
    // row below each one as it opens or closes.
    void LayOutAfresh() { scheduleDelayedItemsLayout(); }
    // Called with each file dropped from the desktop.
    std::function<void(const std::string& FileName)> OnFileDropped;

protected:
    void wheelEvent(QWheelEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void drawBranches(QPainter* Painter, const QRect& Rect, const QModelIndex& Index) const override;

private:
    TOutlineStyle FOutlineStyle = osTreePictureText;
    int FWheelRest = 0; // wheel units not yet turned into rows
};

class TAbCustomZipOutline : public QWidget {
    Q_OBJECT
public:
    explicit TAbCustomZipOutline(QWidget* Parent = nullptr);
    // Pending changes are saved before the archive is freed.
    ~TAbCustomZipOutline() override;

    // Opens the named archive (an existing file for reading and writing, or read-only when writing is
    // refused; a missing one is created); empty closes. Raises EAbArchiveBusy while an operation runs.
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value);
    void OpenArchive(const std::string& Name) { SetFileName(Name); }
    void CloseArchive();

    // Extraction folder; with an archive open it must exist (EAbNoSuchDirectory) and is stored without a
    // trailing "/".
    const std::string& BaseDirectory() const { return FBaseDirectory; }
    void SetBaseDirectory(const std::string& Value);
    TAbExtractOptions ExtractOptions() const { return FExtractOptions; }
    void SetExtractOptions(TAbExtractOptions Value);
    bool Hierarchy() const { return FHierarchy; }
    void SetHierarchy(bool Value);
    TAbZipAttributes Attributes() const { return FAttributes; }
    void SetAttributes(TAbZipAttributes Value);
    bool DOSMode() const { return FDOSMode; }
    void SetDOSMode(bool Value);
    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool Value);
    TAbZipSupportedMethod CompressionMethodToUse() const { return FCompressionMethodToUse; }
    void SetCompressionMethodToUse(TAbZipSupportedMethod Value);
    TAbZipDeflationOption DeflationOption() const { return FDeflationOption; }
    void SetDeflationOption(TAbZipDeflationOption Value);
    TAbStoreOptions StoreOptions() const { return FStoreOptions; }
    void SetStoreOptions(TAbStoreOptions Value);
    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& Value);
    uint8_t PasswordRetries() const { return FPasswordRetries; }
    void SetPasswordRetries(uint8_t Value);

    TOutlineStyle OutlineStyle() const { return FDisplay->OutlineStyle(); }
    void SetOutlineStyle(TOutlineStyle Value) { FDisplay->SetOutlineStyle(Value); }
    const QPixmap& PicturePlus() const { return FDisplay->PicturePlus; }
    void SetPicturePlus(const QPixmap& Value);
    const QPixmap& PictureMinus() const { return FDisplay->PictureMinus; }
    void SetPictureMinus(const QPixmap& Value);
    const QPixmap& PictureOpen() const { return FModel->PictureOpen; }
    void SetPictureOpen(const QPixmap& Value);
    const QPixmap& PictureClosed() const { return FModel->PictureClosed; }
    void SetPictureClosed(const QPixmap& Value);
    const QPixmap& PictureFile() const { return FModel->PictureFile; }
    void SetPictureFile(const QPixmap& Value);
    const QPixmap& PictureZipAttribute() const { return FModel->PictureZipAttribute; }
    void SetPictureZipAttribute(const QPixmap& Value);
    static std::string Version() { return "1.08"; }

    // Extracts every entry whose name matches Mask into BaseDirectory. EAbNoArchive when none is open.
    void ExtractMatching(const std::string& Mask);
    // Marks what FileMask names for adding, as the store options say, and shows it in the tree. It is
    // compressed into the archive when that is saved: at once with AutoSave, else on closing.
    // EAbNoArchive when none is open.
    void AddFiles(const std::string& FileMask);
    // Collapses every top-level node; expands every node.
    void CollapseAll();
    void ExpandAll();

    // Entries of the open archive (0 when none is open).
    int EntryCount() const { return FArchive ? FArchive->Count() : 0; }

    TAbZipDisplayOutline* Display() const { return FDisplay; }
    TAbZipOutlineModel* Model() const { return FModel; }

    const TWindowsDropEvent& OnWindowsDrop() const { return FOnWindowsDrop; }
    // The display accepts dropped files only while a handler is set.
    void SetOnWindowsDrop(TWindowsDropEvent Value);

    TAbArchiveProgressEvent OnArchiveProgress;
    TAbArchiveItemProgressEvent OnArchiveItemProgress;
    TAbConfirmOverwriteEvent OnConfirmOverwrite;
    TAbArchiveItemConfirmEvent OnConfirmProcessItem;
    TAbArchiveConfirmEvent OnConfirmSave;
    TAbArchiveItemFailureEvent OnProcessItemFailure;
    TAbNeedPasswordEvent OnNeedPassword;
    TAbRequestDiskEvent OnRequestLastDisk;
    TAbRequestDiskEvent OnRequestBlankDisk;
    TAbRequestNthDiskEvent OnRequestNthDisk;
    TAbArchiveEvent OnLoad;
    TAbArchiveEvent OnSave;
    TNotifyEvent OnChange;

private:
    std::unique_ptr<TAbZipArchive> OpenFile(const std::string& Name) const;
    void ConfigureArchive();
    void FreeArchive();
    void Rebuild();
    void WindowsDrop(const std::string& Name);

    TAbZipDisplayOutline* FDisplay;
    TAbZipOutlineModel* FModel;
    std::unique_ptr<TAbZipArchive> FArchive;

    std::string FFileName;
    std::string FBaseDirectory;
    TAbExtractOptions FExtractOptions{eoCreateDirs};
    bool FHierarchy = true;
    TAbZipAttributes FAttributes = AbDefaultZipAttributes;
    bool FDOSMode = false;
    bool FAutoSave = false;
    TAbZipSupportedMethod FCompressionMethodToUse = smBestMethod;
    TAbZipDeflationOption FDeflationOption = doNormal;
    TAbStoreOptions FStoreOptions{soStripDrive, soRemoveDots};
    std::string FPassword;
    uint8_t FPasswordRetries = 3;
    TWindowsDropEvent FOnWindowsDrop;
};

// The outline as forms place it.
class TAbZipOutline : public TAbCustomZipOutline {
    Q_OBJECT
public:
    using TAbCustomZipOutline::TAbCustomZipOutline;
};
