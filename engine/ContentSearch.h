#pragma once
// The content search: the walk that also searches every file and archive entry it reports.

#include "archive/Abziptyp.h"
#include "engine/Context.h"
#include "engine/Seeker.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    ~TContexTSeekThread() override;

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
    // A file that is not a readable archive: its bytes, or in names-only mode its own name.
    void SearchUnopened(const std::string& FileName);
    bool NameHolds(const std::string& Name, const std::string& Text) const;
    void ReportNameMatch();
    void SearchNames(TAbZipArchive& Archive, const std::string& Text);
    void SearchEntries(TAbZipArchive& Archive);
    // Scans the N bytes just read, which end at file offset End; false once the file's search is over.
    bool ScanBuffer(THandleStream& File, size_t N, int64_t End);
    void Release();

    const std::string FTempFile; // chosen once: the release deletes the file the entries went to
    bool FReleased = false;
    THelper FHelper;
};

// The temporary file that entries are extracted to: "temp.$x$" with the process id in the program's
// folder when that is writable, else in the temporary folder.
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
