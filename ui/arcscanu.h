#pragma once
// The main window: the search inputs, the Go/Stop run of the seeker, the tree of matches and the list of
// file types to look at inside archives.

#include "engine/SearchSetup.h"
#include "ui/DropSource.h"
#include "ui/RichEdit.h"

#include <QPoint>
#include <QStringList>
#include <QTextCharFormat>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class QComboBox;
class QMouseEvent;
class THelpWindow;
class TExtractDlg;
class QTreeWidgetItem;
class QListWidgetItem;

namespace Ui {
class TForm1;
}

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* Parent = nullptr);
    // Waits for a search still running (the worker calls into this window) before anything is freed.
    ~TForm1() override;

    const TSeeker& Seeker() const { return Scanner; }

    // The extract dialog a double-clicked archive opens in; made once at start-up.
    TExtractDlg* ExtractDlg = nullptr;

    // The seeker's events, run on the main thread while its worker waits.
    void ScannerFileFound(const std::string& AName, const std::string& APath, int32_t AAttr, int64_t ASize,
                          int32_t ACount, TDateTime ADateTime);
    void ScannerProcess(uint32_t ACount, uint64_t ASize, uint32_t AItem, uint32_t AItemCount,
                        const std::string& ACurrent, uint64_t ACurrentSize, uint64_t ACurrentPos);
    void ScannerContextFound(const std::string& ArcFilename, const std::string& AFileName, int64_t ASize,
                             int64_t APos);
    void ScannerProcessDone(uint32_t ACount, uint64_t ASize);

    // The match display: extracts the entry into the temporary folder and shows it with the first
    // occurrence of the search text selected.
    void ShowArchiveEntry(const std::string& ArchivePath, const std::string& EntryName);
    // Shows a file on disk as it is; the temporary file stays the last extracted one.
    void ShowPlainFile(const std::string& Path);
    void FindNextBtnClick();
    // Zoom Viewer: hands the shown content to the viewer (ViewerRequested).
    void ViewerBtnClick();
    const std::string& LastTempFile() const { return FLastTempFile; }
    const QString& AssociatedProgram() const { return FAssociatedProgram; }

signals:
    // ShowSelectedEntry's answer: the archive's file name and the entry's name inside it.
    void EntrySelected(const QString& ArchiveName, const QString& EntryName);
    // A search has ended and the seeker is idle again.
    void SearchEnded();
    // The window has accepted a close: the program's message loop ends with it.
    void FormClosed();
    // Zoom Viewer was pressed: the viewer takes the pane's content (its text when the pane shows plain
    // text, else the file LastTempFile) with the pane's default attributes, and shows it modally.
    void ViewerRequested(const TRichEdit* Pane, const QTextCharFormat& DefaultAttributes,
                         const QString& LastTempFile);

protected:
    void changeEvent(QEvent* Event) override;     // FormActivate
    void closeEvent(QCloseEvent* Event) override; // FormCloseQuery
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void FormClose();
    void SearchStrChange();
    void GoBtnClick();
    void ClearResults();
    void LockInputs();
    void StartSearch(const QString& EntryMasks);
    void SetInputsEnabled(bool Enabled);
    void EndSearchIdle();

    void ScannerIdle();

    void TreeView1Change();
    void ShowSelectedEntry();
    void TreeView1DblClick();
    // The archive's path and the entry's name of an entry node.
    std::pair<QString, QString> EntryOfNode(const QTreeWidgetItem* Node) const;
    // The archive file of an archive node, as it is named on disk.
    std::string ArchiveFileOfNode(const QTreeWidgetItem* Node) const;

    void TreeView1MouseDown(const QMouseEvent* Event);
    void TreeView1MouseMove(const QMouseEvent* Event);
    void DropFileSource1Drop(TDropSource& Sender, TDragType DragType, bool& ContinueDrop);
    // The entry extracted into the private temporary folder; empty when nothing was extracted.
    std::string ExtractEntryToTemp(const std::string& ArchivePath, const std::string& EntryName);

    void LaunchBtnClick();
    void BrowseBtnClick();
    void HelpBtnClick();
    // Loads the shown file into the pane (ShownName's extension chooses rich text) and selects the first
    // occurrence.
    void LoadShownFile(const std::string& Path, const std::string& ShownName);

    void AddMaskBtnClick();
    void DelMaskBtnClick();
    void MaskTypesClick();
    void MaskTypesClickCheck(QListWidgetItem* Item);
    QString EntryMaskText() const;

    std::unique_ptr<Ui::TForm1> Ui;
    TMemSeeker Scanner;
    TMatchGrouper Matches;
    QTreeWidgetItem* LastArchiveNode = nullptr; // the node of Matches' last archive
    std::string IniFileName;
    // The extract dialog's folder history and the folder it offers on its first opening in a run, carried
    // from the settings file and back.
    QStringList ExtractPaths;
    QString LastExtractPath;
    THelpWindow* HelpWindow = nullptr; // made on first use
    // Where displayed entries are extracted to (the user's private folder, ending in "/"), the file now
    // shown, the pane's default character attributes and the shown file's associated program.
    std::string TempFolder;
    std::string FLastTempFile;
    QTextCharFormat DefaultAttributes;
    QString FAssociatedProgram;
    TDropFileSource* DropFileSource1;
    QPoint DragStartPoint;
    // The entry of a drag under way, extracted only when it is dropped.
    std::string FDragArchive, FDragEntry;
    // A close answered Yes during a search: the window is hidden and closes once the worker is done.
    bool FClosePending = false;
};
