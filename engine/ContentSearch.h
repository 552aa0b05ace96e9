#pragma once
// The content search: the walk that also searches every file and archive entry it reports.

#include "archive/Abziptyp.h"
#include "engine/Context.h"
#include "engine/Seeker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The archive's extraction hook for everyone who extracts an entry to show it.
class THelper {
public:
    void UnzipEntry(TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName);
};

// An entry the search could not examine (damaged, encrypted without the password, an unknown method).
using TOnEntryFailed = std::function<void(const std::string& ArcFilename, const std::string& AFileName,
                                          const std::string& Reason)>;

class TSearchPool;
struct TSearchJob;
struct TSearchFields;

// The walk that also searches every file it reports for the context's pattern. The files are searched by
// a pool of workers, several at a time, while the walk goes on; their events reach the main thread in
// the order one worker searching file after file would send them, and none after a stop.
class TContexTSeekThread : public TSeekThread {
public:
    // Marks the context in use until the thread has released its resources, just before its end notice.
    // Workers 0: DefaultSearchWorkers().
    TContexTSeekThread(std::shared_ptr<TContext> AContext, uint32_t AAttrMask, const std::string& AFiles,
                       const std::string& ADirectory, TScanDrives AScanDrives, TScanScope AScanScope,
                       bool ARecursive, TOnProcess AOnProcess, TOnNextFile AOnFileFound,
                       TOnMatch AOnContextFound, unsigned AWorkers = 0);
    ~TContexTSeekThread() override;

    std::shared_ptr<TContext> Context;
    TOnMatch OnContextFound;
    TOnEntryFailed OnEntryFailed;
    // The fields below show what the events delivered so far have left in them.
    int64_t Position = 0; // of the match just reported, or of the end of what had been scanned
    int64_t FileSize = 0;
    std::string ArcFileName; // empty for a plain file
    std::string EntryName;

protected:
    void Execute() override;
    void DoProcess() override;
    void FileFound() override;
    void FolderEntered() override;
    virtual void DoContextFound();

private:
    void Queue(std::unique_ptr<TSearchJob> Job);
    // Delivers the finished steps at the front, waiting for them while more than Ahead are queued.
    void DeliverDone(size_t Ahead);
    void Replay(const TSearchJob& Job);
    void Apply(const TSearchFields& Fields);
    bool Halted() const { return Terminated() || FFailed; }
    void Release();

    unsigned FWorkers;
    // Declared before the pool, so it outlives workers that ask Halted() while the pool is torn down.
    std::atomic<bool> FFailed{false}; // a handler raised: the search ends
    std::unique_ptr<TSearchPool> FPool;
    bool FReleased = false;
};

class TMemSeeker : public TSeeker {
public:
    TMemSeeker();
    // The context is shared with a running search, which may outlive the seeker.
    TContext& Context() { return *FContext; }
    void SetContext(const TContext& Value) { FContext->AssignContext(Value); }
    // Files searched at a time; 0 (the default) is one per processor, at most 8.
    unsigned Workers() const { return FWorkers; }
    void SetWorkers(unsigned Value) { FWorkers = Value; }

    TOnMatch OnContextFound;
    TOnEntryFailed OnEntryFailed;

protected:
    std::unique_ptr<TSeekThread> CreateSeekThread() override;
    virtual void DefaultContextFound(const std::string& ArcFilename, const std::string& AFileName,
                                     int64_t ASize, int64_t APos);

private:
    std::shared_ptr<TContext> FContext;
    unsigned FWorkers = 0;
};
