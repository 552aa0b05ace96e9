#pragma once
// The search engine: the search context, file masks, the seeker component and its directory walk.

#include "archive/Abziptyp.h"
#include "platform/DosDate.h"
#include "platform/Drives.h"
#include "platform/Find.h"
#include "platform/Sets.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------------
// Search context

// What a search looks for and how. Every write is ignored while a content search uses the context
// (InUse), so the worker may read it without a lock.
class TContext {
public:
    static constexpr int MaxPatternLength = 255;
    static constexpr int MinBufferSizeKb = 1;
    static constexpr int MaxBufferSizeKb = 8192;

    TContext();
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    // "<Empty>" for an empty pattern; otherwise the pattern with every byte up to 32 shown as
    // ReplaceChar.
    std::string ContextAsString() const;
    // Raises when S is longer than MaxPatternLength: the pattern is never cut.
    void SetContextAsString(const std::string& S);

    char ReplaceChar() const { return FReplaceChar; }
    void SetReplaceChar(char C); // ignored for space and control characters
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);
    bool NamesOnly() const { return FNamesOnly; }
    void SetNamesOnly(bool Value);
    const std::string& FileFilter() const { return FFileFilter; }
    void SetFileFilter(const std::string& S);
    int BufferSizeKb() const { return FBufferSizeKb; }
    void SetBufferSizeKb(int N); // raises outside 1..8192, also while InUse
    bool FirstEntryOnly() const { return FFirstEntryOnly; }
    void SetFirstEntryOnly(bool Value);

    // Set and cleared by the content-search thread only.
    bool InUse() const { return FInUse; }
    void SetInUse(bool Value) { FInUse = Value; }

    // FileFilter split at ";": the masks for archive entries.
    const std::vector<std::string>& FileFilterList() const { return FFileFilterList; }
    // Masks taken from the search string itself (names-only mode).
    const std::vector<std::string>& NameMaskList() const { return FNameMaskList; }

    int PatternLength() const { return FPatternLength; }
    bool IsEmpty() const { return FPatternLength == 0; }
    // The pattern bytes and their folded copy; PatternData is null for an empty context.
    const uint8_t* PatternData() const { return IsEmpty() ? nullptr : FPattern.data(); }
    const uint8_t* UpperPattern() const { return FUpperPattern.data(); }

    // Whether the Len bytes at P are the pattern (folded on both sides unless CaseSensitive).
    bool MatchAt(const uint8_t* P, int Len) const;

    // Copies the pattern, CaseSensitive, NamesOnly and ReplaceChar (not the entry masks, the buffer
    // size or FirstEntryOnly).
    void AssignContext(const TContext& Source);

private:
    void RebuildFromPattern();

    std::array<uint8_t, MaxPatternLength> FPattern{};
    std::array<uint8_t, MaxPatternLength> FUpperPattern{};
    bool FCaseSensitive = false;
    bool FNamesOnly = false;
    std::string FFileFilter = "*.*";
    char FReplaceChar = ' ';
    int FPatternLength = 0;
    int FBufferSizeKb = 64;
    bool FFirstEntryOnly = false;
    std::atomic<bool> FInUse{false};
    std::vector<std::string> FFileFilterList;
    std::vector<std::string> FNameMaskList;
};

// ---------------------------------------------------------------------------------------------------
// File masks

// A wildcard mask compiled once: "*" any run, "?" one character, "[a-c]" and "[!a-c]" sets. Matching
// covers the whole name and ignores the case of "a" to "z".
class TMask {
public:
    // Raises Exception "'mask' is an invalid mask at (n)" for a set that is unclosed, empty or starts
    // with "-", and for more than MaxStars stars.
    explicit TMask(const std::string& MaskText);
    bool Matches(const std::string& Name) const;

    static constexpr int MaxStars = 30;

private:
    enum TStepKind : uint8_t { skLiteral, skAnyChar, skSet };
    struct TStep {
        bool Skip = false; // a "*" stood before it
        TStepKind Kind = skLiteral;
        uint8_t Ch = 0; // folded; 0 on the final step, which matches only the end of the name
        bool Invert = false;
        std::bitset<256> Chars; // folded
    };
    bool Test(const TStep& Step, const std::string& Name, size_t P) const;

    std::vector<TStep> Steps;
};

struct TMultiMask {
    TMask Mask;
};
using TMaskCollection = std::vector<TMultiMask>;

// Appends one mask per piece of Text, split at ";" (surrounding spaces trimmed, empty pieces skipped).
void ParseMasks(TMaskCollection& Collection, const std::string& Text);
bool MatchesAnyMask(const TMaskCollection& Collection, const std::string& Name);

// ---------------------------------------------------------------------------------------------------
// Seeker and directory walk

enum TScanScope { ssGlobal, ssSpecifiedDisk, ssSpecifiedDir };
enum TScanDrive { sdHard, sdCDROM, sdRAM, sdNetwork, sdFloppy };
using TScanDrives = TSet<TScanDrive>;
// Bit N of the set is the file attribute bit 1 << N.
enum TMyFileAttr { faReadOnly, faHidden, faSysFile, faVolumeID, faDirectory, faArchive };
using TMyFileTypes = TSet<TMyFileAttr>;

using TOnProcess =
    std::function<void(uint32_t ACount, uint64_t ASize, uint32_t AItem, uint32_t AItemCount,
                       const std::string& ACurrent, uint64_t ACurrentSize, uint64_t ACurrentPos)>;
using TOnFileDone = std::function<void(uint32_t ACount, uint64_t ASize)>;
using TOnNextFile = std::function<void(const std::string& AName, const std::string& APath, int32_t AAttr,
                                       int64_t ASize, int32_t ACount, TDateTime ADateTime)>;
using TOnMatch = std::function<void(const std::string& ArcFilename, const std::string& AFileName,
                                    int64_t ASize, int64_t APos)>;

// The walk worker. Its fields are written by the worker and read by the event handlers, which run on the
// main thread while the worker waits.
class TSeekThread : public TThread {
public:
    TSeekThread(bool ARecursive, uint32_t AAttrMask, const std::string& AFiles, const std::string& ADirectory,
                TScanDrives AScanDrives, TScanScope AScanScope, TOnProcess AOnProcess,
                TOnNextFile AOnFileFound);

    TOnNextFile OnFileFound;
    TOnProcess OnProcess;
    bool Recursive;
    TScanScope ScanScope;
    TScanDrives ScanDrives;
    std::string Directory;
    uint32_t AttrMask;
    std::string Files;
    TSearchRec FindData;     // the file being reported
    int32_t SeekError = 0;   // -1 once an error has stopped the walk
    uint32_t EntryCount = 0; // entries of the archive last opened by a content search
    uint32_t EntryIndex = 0;
    uint32_t FileCount = 0;
    uint64_t TotalSize = 0;
    std::string CurrentPath; // the folder being listed; after an error, its message

protected:
    void Execute() override;
    virtual void Seek();
    virtual void DoProcess();
    virtual void DoFileFound();
    virtual void FileFound();

    void WalkDrives();
    void WalkFolder(const std::string& Path);

private:
    void WalkDrive(const std::vector<TMount>& Table, const std::string& MountPoint);

    TMaskCollection FMasks;
    std::vector<std::string> FOtherMounts; // sorted; folders a drive's walk must not enter
};

class TSeeker {
public:
    TSeeker();
    // Does not wait for a running walk: it asks it to stop and no longer takes its end notice.
    virtual ~TSeeker();
    TSeeker(const TSeeker&) = delete;
    TSeeker& operator=(const TSeeker&) = delete;

    const std::string& Files() const { return FFiles; }
    void SetFiles(const std::string& Value) { FFiles = Value; }
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& Value) { FDirectory = Value; }
    TMyFileTypes Attributes() const { return FAttributes; }
    void SetAttributes(TMyFileTypes Value) { FAttributes = Value; }
    TScanScope ScanScope() const { return FScanScope; }
    void SetScanScope(TScanScope Value) { FScanScope = Value; }
    TScanDrives ScanDrives() const { return FScanDrives; }
    void SetScanDrives(TScanDrives Value) { FScanDrives = Value; }
    bool Recursive() const { return FRecursive; }
    void SetRecursive(bool Value) { FRecursive = Value; }
    TThreadPriority Priority() const { return FPriority; }
    void SetPriority(TThreadPriority Value) { FPriority = Value; }

    TOnProcess OnProcess;
    TOnFileDone OnProcessDone;
    TOnNextFile OnFileFound;

    // Starts a walk on a new thread unless one runs.
    virtual void Start();
    // Asks the running walk to stop and returns at once.
    virtual void Stop();
    bool Running() const { return FThread != nullptr; }
    // The running walk, or null.
    TSeekThread* Thread() const { return FThread; }

protected:
    virtual std::unique_ptr<TSeekThread> CreateSeekThread();
    virtual void DefaultProcess(uint32_t ACount, uint64_t ASize, uint32_t AItem, uint32_t AItemCount,
                                const std::string& ACurrent, uint64_t ACurrentSize, uint64_t ACurrentPos);
    virtual void DefaultFileFound(const std::string& AName, const std::string& APath, int32_t AAttr,
                                  int64_t ASize, int32_t ACount, TDateTime ADateTime);
    uint32_t AttrMask() const { return FAttributes.Bits(); }

    // Shared with the default handlers and the running thread's end notice, which must not reach a seeker
    // that has gone.
    struct TLink {
        TSeeker* Seeker;
    };
    const std::shared_ptr<TLink>& Link() const { return FLink; }

private:
    void ThreadDone();

    std::string FFiles = "*";
    std::string FDirectory = "/";
    TMyFileTypes FAttributes{faArchive};
    TScanScope FScanScope = ssGlobal;
    TScanDrives FScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork};
    bool FRecursive = true;
    TThreadPriority FPriority = tpTimeCritical;
    TSeekThread* FThread = nullptr;
    std::shared_ptr<TLink> FLink;
};

// ---------------------------------------------------------------------------------------------------
// Content search

// The archive's extraction hook for everyone who extracts an entry to search or show it.
class THelper {
public:
    void UnzipEntry(TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName);
};

// The walk that also searches every file it reports for the context's pattern.
class TContexTSeekThread : public TSeekThread {
public:
    // Marks the context in use until the thread has released its resources, just before its end notice.
    TContexTSeekThread(std::shared_ptr<TContext> AContext, uint32_t AAttrMask, const std::string& AFiles,
                       const std::string& ADirectory, TScanDrives AScanDrives, TScanScope AScanScope,
                       bool ARecursive, TOnProcess AOnProcess, TOnNextFile AOnFileFound,
                       TOnMatch AOnContextFound);

    std::shared_ptr<TContext> Context;
    TOnMatch OnContextFound;
    std::vector<uint8_t> Buffer;
    int64_t Position = 0; // of the match just found, or of the end of what has been read
    int64_t FileSize = 0;
    std::string ArcFileName; // empty while a plain file is searched
    std::string EntryName;

protected:
    void Execute() override;
    void DoProcess() override;
    void FileFound() override;
    virtual void DoContextFound();

    // Searches one file on disk; a file that cannot be opened is skipped.
    void SearchFile(const std::string& FileName);

private:
    void SearchNames(TAbZipArchive& Archive, const std::string& Text);
    void SearchEntries(TAbZipArchive& Archive);
    // Scans the N bytes just read, which end at file offset End; false once the file's search is over.
    bool ScanBuffer(int Handle, size_t N, int64_t End);
    void Release();

    const std::string FTempFile; // chosen once: the release deletes the file the entries went to
    THelper FHelper;
};

// The temporary file that entries are extracted to: "temp.$x$" in the program's folder when that is
// writable, else in the temporary folder.
std::string TempFileName();

class TMemSeeker : public TSeeker {
public:
    TMemSeeker();
    // The context is shared with a running search, which may outlive the seeker.
    TContext& Context() { return *FContext; }
    void SetContext(const TContext& Value) { FContext->AssignContext(Value); }

    TOnMatch OnContextFound;

protected:
    std::unique_ptr<TSeekThread> CreateSeekThread() override;
    virtual void DefaultContextFound(const std::string& ArcFilename, const std::string& AFileName,
                                     int64_t ASize, int64_t APos);

private:
    std::shared_ptr<TContext> FContext;
};
