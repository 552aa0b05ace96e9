#pragma once
// The format-independent archive: its entries, the name index over them, and the operations every host
// calls (load, tag, extract), built on a few operations the format class supplies.

#include "archive/AbUtils.h"
#include "platform/Classes.h"
#include "platform/Sets.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAbArchive;

// Pending change of an entry, acted on when the archive is written.
enum TAbArchiveAction : uint8_t {
    aaFailed = 0,
    aaNone = 1,
    aaAdd = 2,
    aaDelete = 3,
    aaFreshen = 4,
    aaRename = 5,
};

enum TAbArchiveStatus { asInvalid = 0, asIdle = 1, asBusy = 2 };

enum TAbProcessType { ptExtract = 2, ptRename = 4 };

enum TAbExtractOption { eoCreateDirs, eoRestorePath };
using TAbExtractOptions = TSet<TAbExtractOption>;

enum TAbStoreOption { soStripDrive, soStripPath, soRemoveDots, soRecurse };
using TAbStoreOptions = TSet<TAbStoreOption>;

class TAbArchiveItem {
public:
    TAbArchiveItem() = default;
    virtual ~TAbArchiveItem() = default;
    TAbArchiveItem(const TAbArchiveItem&) = delete;
    TAbArchiveItem& operator=(const TAbArchiveItem&) = delete;

    virtual uint64_t GetCompressedSize() const { return FCompressedSize; }
    virtual const std::string& GetFileName() const { return FFileName; }
    virtual uint64_t GetUncompressedSize() const { return FUncompressedSize; }
    virtual void SetCompressedSize(uint64_t Value) { FCompressedSize = Value; }
    virtual void SetFileName(const std::string& Value) { FFileName = Value; }
    virtual void SetUncompressedSize(uint64_t Value) { FUncompressedSize = Value; }

    uint16_t LastModFileTime() const { return FLastModFileTime; }
    uint16_t LastModFileDate() const { return FLastModFileDate; }
    virtual void SetLastModFileTime(uint16_t Value) { FLastModFileTime = Value; }
    virtual void SetLastModFileDate(uint16_t Value) { FLastModFileDate = Value; }

    // True when the entry's name matches Mask ("*" and "?"; a folder part in the mask must match too).
    bool MatchesMask(const std::string& Mask) const;

    TAbArchiveItem* NextItem = nullptr; // hash chain of TAbArchiveList, not owned
    TAbArchiveAction Action = aaNone;
    std::string DiskFileName;
    bool Tagged = false;

protected:
    friend class TAbArchiveList;

    uint64_t FCompressedSize = 0;
    std::string FFileName;
    uint16_t FLastModFileTime = 0;
    uint16_t FLastModFileDate = 0;
    uint64_t FUncompressedSize = 0;

private:
    int FListIndex = -1; // place in TAbArchiveList, kept so lookups by entry cost nothing
};

// The entries in archive order, with a hash index by name.
class TAbArchiveList {
public:
    static constexpr size_t BucketCount = 1021;

    TAbArchiveList() { FBuckets.fill(nullptr); }
    TAbArchiveList(const TAbArchiveList&) = delete;
    TAbArchiveList& operator=(const TAbArchiveList&) = delete;

    // Index of the new entry.
    int Add(std::unique_ptr<TAbArchiveItem> Item);
    // Index of the entry named Name (ASCII letters compared without case), -1 when there is none. Of
    // several, the one added last.
    int Find(const std::string& Name) const;
    // Index of this very entry, -1 when it is not in the list.
    int IndexOf(const TAbArchiveItem* Item) const;
    void Delete(int Index);
    void Clear();
    // Gives an entry a new name and moves it to the chain of that name.
    void Rename(TAbArchiveItem* Item, const std::string& NewName);

    int Count() const { return int(FItems.size()); }
    TAbArchiveItem* Items(int Index) const { return FItems.at(size_t(Index)).get(); }

    static size_t BucketOf(const std::string& Name);

private:
    void Unlink(TAbArchiveItem* Item);
    void Link(TAbArchiveItem* Item);

    std::vector<std::unique_ptr<TAbArchiveItem>> FItems;
    std::array<TAbArchiveItem*, BucketCount> FBuckets;
};

using TAbArchiveEvent = std::function<void(void* Sender)>;
using TAbArchiveConfirmEvent = std::function<void(void* Sender, bool& Confirm)>;
using TAbArchiveProgressEvent = std::function<void(void* Sender, uint8_t Progress, bool& Abort)>;
using TAbArchiveItemConfirmEvent =
    std::function<void(void* Sender, TAbArchiveItem* Item, TAbProcessType ProcessType, bool& Confirm)>;
using TAbConfirmOverwriteEvent = std::function<void(std::string& Name, bool& Confirm)>;
// ErrorMessage is the failure's own text, with its reason.
using TAbArchiveItemFailureEvent =
    std::function<void(void* Sender, TAbArchiveItem* Item, TAbProcessType ProcessType,
                       TAbErrorClass ErrorClass, int ErrorCode, const std::string& ErrorMessage)>;
using TAbArchiveItemProgressEvent =
    std::function<void(void* Sender, TAbArchiveItem* Item, uint8_t Progress, bool& Abort)>;

class TAbArchive {
public:
    virtual ~TAbArchive();
    TAbArchive(const TAbArchive&) = delete;
    TAbArchive& operator=(const TAbArchive&) = delete;

    // Reads the directory. Failures reach the caller after OnLoad has run and the lock is released.
    void Load();
    void ClearTags();
    // Tags every entry matching Mask; entries tagged before stay tagged.
    void TagItems(const std::string& Mask);
    // Extracts Item under NewName (its own name when empty). Failures go to OnProcessItemFailure.
    void Extract(TAbArchiveItem* Item, const std::string& NewName);
    void ExtractAt(int Index, const std::string& NewName);
    // Extracts every entry matching Mask into BaseDirectory.
    void ExtractFiles(const std::string& Mask);
    void Save();
    void Rename(TAbArchiveItem* Item, const std::string& NewName);
    // NewName := FileName as it would be stored, after StoreOptions.
    virtual void FixName(const std::string& FileName, std::string& NewName);
    // Raises EAbNoArchive when loading was aborted.
    void CheckValid() const;

    int Count() const { return FItemList.Count(); }
    TAbArchiveItem* Items(int Index) const { return FItemList.Items(Index); }
    int FindItem(const std::string& Name) const { return FItemList.Find(Name); }

    const std::string& ArchiveName() const { return FArchiveName; }
    const std::string& BaseDirectory() const { return FBaseDirectory; }
    // One trailing "/" is dropped; a folder that does not exist raises EAbNoSuchDirectory.
    void SetBaseDirectory(const std::string& Value);
    TAbArchiveStatus Status() const { return FStatus; }
    void SetStatus(TAbArchiveStatus Value) { FStatus = Value; }
    bool IsDirty() const { return FIsDirty; }
    uint16_t Mode() const { return FMode; }
    bool OwnsStream() const { return FOwnedStream != nullptr; }

    // Progress of the entry being extracted; handed to the decompressor.
    virtual void DoCurrentItemProgress(uint8_t Progress, bool& Abort);

    bool AutoSave = false;
    TAbArchiveItem* CurrentItem = nullptr;
    bool DOSMode = false;
    TAbExtractOptions ExtractOptions;
    TAbStoreOptions StoreOptions;

    TAbArchiveItemFailureEvent OnProcessItemFailure;
    TAbArchiveProgressEvent OnArchiveProgress;
    TAbArchiveItemProgressEvent OnArchiveItemProgress;
    TAbArchiveItemConfirmEvent OnConfirmProcessItem;
    TAbConfirmOverwriteEvent OnConfirmOverwrite;
    TAbArchiveConfirmEvent OnConfirmSave;
    TAbArchiveEvent OnLoad;
    TAbArchiveEvent OnSave;

    // The archive file now open. Readers may keep a reference to this field: moving to another disk of a
    // spanned set replaces the stream in it (ReplaceStream).
    TStream* Stream = nullptr;
    // Closes the stream the archive opened and opens FileName with AMode in its place (mode fmCreate
    // re-opens for reading). A stream the archive did not open raises EAbZipBadSpanStream.
    void ReplaceStream(const std::string& FileName, uint16_t AMode);

protected:
    // Opens FileName with Mode (EFOpenError / EFCreateError when it cannot).
    TAbArchive(const std::string& FileName, uint16_t AMode);
    // Works on a stream the caller keeps; ArchiveName names it in messages.
    TAbArchive(TStream& AStream, const std::string& FileName);

    virtual std::unique_ptr<TAbArchiveItem> CreateItem(const std::string& FileName) = 0;
    virtual void DoProcessItemFailure(TAbArchiveItem* Item, TAbProcessType ProcessType,
                                      TAbErrorClass ErrorClass, int ErrorCode,
                                      const std::string& ErrorMessage);
    virtual void DoArchiveProgress(uint8_t Progress, bool& Abort);
    virtual void DoArchiveItemProgress(TAbArchiveItem* Item, uint8_t Progress, bool& Abort);
    virtual void DoConfirmProcessItem(TAbArchiveItem* Item, TAbProcessType ProcessType, bool& Confirm);
    virtual void DoConfirmSave(bool& Confirm);
    virtual void DoLoad();
    virtual void DoSave();
    virtual void ExtractItemAt(int Index, const std::string& NewName) = 0;
    // After ExtractFiles: what waits for every entry to be written (the times of folders).
    virtual void FinishExtraction() {}
    virtual void LoadArchive() = 0;
    virtual void SaveArchive() = 0;

    // Reads from AStream instead of the file the archive opened.
    void AdoptStream(std::unique_ptr<TStream> AStream);

    // FileName as it would be stored under Options.
    std::string ApplyStoreOptions(const std::string& FileName, const TAbStoreOptions& Options) const;

    TAbArchiveList FItemList;
    bool FIsDirty = false;

private:
    void Lock();
    void Unlock();

    std::string FArchiveName;
    std::string FBaseDirectory;
    uint16_t FMode = 0;
    TAbPadLock FPadLock;
    TAbArchiveStatus FStatus = asIdle;
    std::unique_ptr<TStream> FOwnedStream;
};
