#include "engine/ContentSearch.h"

#include "archive/AbUnZPrc.h"
#include "engine/FileSearch.h"
#include "platform/Dialogs.h"

#include <condition_variable>
#include <deque>
#include <mutex>

void THelper::UnzipEntry(TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName) {
    UnzipItemToFile(Sender, Item, NewName);
}

// ---------------------------------------------------------------------------------------------------
// TSearchPool

// The walk's steps in order, and the workers that search the files among them, each with its own
// buffers, taking the files in the walk's order.
class TSearchPool {
public:
    TSearchPool(const TContext& Context, unsigned Workers, TThreadPriority Priority,
                const std::function<bool()>& Stopped);
    // Waits for the workers, which end at once when stopped.
    ~TSearchPool();
    TSearchPool(const TSearchPool&) = delete;
    TSearchPool& operator=(const TSearchPool&) = delete;

    void Push(std::unique_ptr<TSearchJob> Job);
    // The finished steps at the front, in order; while more than Ahead steps are pushed and not taken,
    // waits until there is at least one.
    std::vector<std::unique_ptr<TSearchJob>> TakeDone(size_t Ahead);

private:
    class TWorker;
    // The next file to search, or null once the pool closes with none left.
    TSearchJob* NextSearch();
    void Finished(TSearchJob& Job);

    std::mutex FLock;
    std::condition_variable FWork;
    std::condition_variable FDone;
    std::deque<std::unique_ptr<TSearchJob>> FJobs;
    std::deque<TSearchJob*> FTodo;
    bool FClosing = false;
    std::vector<std::unique_ptr<TWorker>> FWorkers;
};

class TSearchPool::TWorker : public TThread {
public:
    TWorker(TSearchPool& Pool, const TContext& Context, const std::function<bool()>& Stopped)
        : FPool(Pool), FStopped(Stopped), FSearch(Context, Stopped) {}

protected:
    void Execute() override {
        while (TSearchJob* Job = FPool.NextSearch()) {
            try {
                if (!FStopped())
                    FSearch.Run(*Job);
            } catch (const std::exception& E) {
                Job->Failure = E.what();
            } catch (...) {
                Job->Failure = "Unknown error";
            }
            FPool.Finished(*Job);
        }
    }

private:
    TSearchPool& FPool;
    std::function<bool()> FStopped;
    TFileSearch FSearch;
};

TSearchPool::TSearchPool(const TContext& Context, unsigned Workers, TThreadPriority Priority,
                         const std::function<bool()>& Stopped) {
    for (unsigned I = 0; I < Workers; ++I) {
        FWorkers.push_back(std::make_unique<TWorker>(*this, Context, Stopped));
        FWorkers.back()->SetPriority(Priority);
        FWorkers.back()->Start();
    }
}

TSearchPool::~TSearchPool() {
    {
        std::lock_guard Lock(FLock);
        FClosing = true;
    }
    FWork.notify_all();
    // Joined before any of them goes: a thread object must outlive its body.
    for (const auto& Worker : FWorkers)
        Worker->WaitFor();
}

void TSearchPool::Push(std::unique_ptr<TSearchJob> Job) {
    std::lock_guard Lock(FLock);
    if (Job->Search) {
        FTodo.push_back(Job.get());
        FWork.notify_one();
    } else
        Job->Done = true;
    FJobs.push_back(std::move(Job));
}

TSearchJob* TSearchPool::NextSearch() {
    std::unique_lock Lock(FLock);
    FWork.wait(Lock, [this] { return FClosing || !FTodo.empty(); });
    if (FTodo.empty())
        return nullptr;
    TSearchJob* Job = FTodo.front();
    FTodo.pop_front();
    return Job;
}

void TSearchPool::Finished(TSearchJob& Job) {
    {
        std::lock_guard Lock(FLock);
        Job.Done = true;
    }
    FDone.notify_all();
}

std::vector<std::unique_ptr<TSearchJob>> TSearchPool::TakeDone(size_t Ahead) {
    std::unique_lock Lock(FLock);
    if (FJobs.size() > Ahead)
        FDone.wait(Lock, [this] { return FJobs.empty() || FJobs.front()->Done; });
    std::vector<std::unique_ptr<TSearchJob>> Done;
    while (!FJobs.empty() && FJobs.front()->Done) {
        Done.push_back(std::move(FJobs.front()));
        FJobs.pop_front();
    }
    return Done;
}

// ---------------------------------------------------------------------------------------------------
// TContexTSeekThread

TContexTSeekThread::TContexTSeekThread(std::shared_ptr<TContext> AContext, uint32_t AAttrMask,
                                       const std::string& AFiles, const std::string& ADirectory,
                                       TScanDrives AScanDrives, TScanScope AScanScope, bool ARecursive,
                                       TOnProcess AOnProcess, TOnNextFile AOnFileFound,
                                       TOnMatch AOnContextFound, unsigned AWorkers)
    : TSeekThread(ARecursive, AAttrMask, AFiles, ADirectory, AScanDrives, AScanScope, std::move(AOnProcess),
                  std::move(AOnFileFound)),
      Context(std::move(AContext)), OnContextFound(std::move(AOnContextFound)),
      FWorkers(AWorkers ? AWorkers : DefaultSearchWorkers()) {
    Context->SetInUse(true);
}

TContexTSeekThread::~TContexTSeekThread() {
    // A thread that never ran still holds the context.
    if (!FReleased)
        Release();
}

void TContexTSeekThread::Execute() {
    FPool = std::make_unique<TSearchPool>(*Context, FWorkers, Priority(), [this] { return Halted(); });
    TSeekThread::Execute();
    // What the walk found before it ended still counts, unless the search was stopped.
    DeliverDone(0);
    FPool.reset();
    // Before the end notice: a search started from it finds the context free.
    Release();
}

void TContexTSeekThread::Release() {
    FReleased = true;
    Context->SetInUse(false);
}

void TContexTSeekThread::FolderEntered() {
    auto Job = std::make_unique<TSearchJob>();
    Job->IsFolder = true;
    Job->Path = CurrentPath;
    Queue(std::move(Job));
}

void TContexTSeekThread::FileFound() {
    auto Job = std::make_unique<TSearchJob>();
    Job->Path = CurrentPath;
    Job->Found = FindData;
    // Only regular files have bytes to search: reading a pipe or a device named like an archive would
    // block the search or disturb the device, and a folder holds none.
    Job->Search = !Context->IsEmpty() && (FindData.Attr & (attrDirectory | attrSystem)) == 0;
    Queue(std::move(Job));
}

void TContexTSeekThread::Queue(std::unique_ptr<TSearchJob> Job) {
    FPool->Push(std::move(Job));
    // Far enough ahead: the walk waits for the searches, so that what waits for delivery stays small.
    DeliverDone(16 * size_t(FWorkers) + 64);
}

void TContexTSeekThread::DeliverDone(size_t Ahead) {
    while (!Halted()) {
        const std::vector<std::unique_ptr<TSearchJob>> Done = FPool->TakeDone(Ahead);
        if (Done.empty())
            return;
        try {
            // One hand-over for the lot.
            Synchronize([&] {
                for (const auto& Job : Done) {
                    if (Terminated())
                        return;
                    Replay(*Job);
                }
            });
        } catch (const std::exception& E) {
            // A handler's error ends the search as an error of the walk would.
            StopOnError(E.what());
            FFailed = true;
        } catch (...) {
            StopOnError("Unknown error");
            FFailed = true;
        }
    }
}

// On the main thread: the events of one step, as the step's search sent them.
void TContexTSeekThread::Replay(const TSearchJob& Job) {
    CurrentPath = Job.Path;
    if (Job.IsFolder) {
        DoProcess();
        return;
    }
    FindData = Job.Found;
    DoFileFound();
    for (const TSearchEvent& E : Job.Events) {
        if (Terminated())
            return;
        Apply(Job.Fields[E.Fields]);
        switch (E.Kind) {
        case ekProcess:
            Position = E.Position;
            DoProcess();
            break;
        case ekContextFound:
            Position = E.Position;
            DoContextFound();
            break;
        case ekBeep:
            MessageBeep();
            break;
        case ekEntryFailed:
            if (OnEntryFailed)
                OnEntryFailed(ArcFileName, EntryName, Job.Reasons[size_t(E.Position)]);
            break;
        }
    }
    if (!Job.Fields.empty())
        Apply(Job.Fields.back());
    if (!Job.Failure.empty())
        throw std::runtime_error(Job.Failure);
}

void TContexTSeekThread::Apply(const TSearchFields& Fields) {
    const auto Take = [&Fields](uint8_t Bit, const auto& From, auto& To) {
        if (Fields.Set & Bit)
            To = From;
    };
    Take(TSearchFields::sfEntryIndex, Fields.EntryIndex, EntryIndex);
    Take(TSearchFields::sfEntryCount, Fields.EntryCount, EntryCount);
    Take(TSearchFields::sfFileSize, Fields.FileSize, FileSize);
    Take(TSearchFields::sfCurrentPath, Fields.CurrentPath, CurrentPath);
    Take(TSearchFields::sfArcFileName, Fields.ArcFileName, ArcFileName);
    Take(TSearchFields::sfEntryName, Fields.EntryName, EntryName);
}

void TContexTSeekThread::DoProcess() {
    if (OnProcess)
        OnProcess(FileCount, TotalSize, EntryIndex, EntryCount, CurrentPath, uint64_t(FileSize),
                  uint64_t(Position));
}

void TContexTSeekThread::DoContextFound() {
    if (OnContextFound)
        OnContextFound(ArcFileName, EntryName, FileSize, Position);
}

// ---------------------------------------------------------------------------------------------------
// TMemSeeker

TMemSeeker::TMemSeeker() : FContext(std::make_shared<TContext>()) {
    OnContextFound = [Link = Link()](const std::string& ArcFilename, const std::string& AFileName,
                                     int64_t ASize, int64_t APos) {
        if (Link->Seeker)
            static_cast<TMemSeeker*>(Link->Seeker)->DefaultContextFound(ArcFilename, AFileName, ASize, APos);
    };
}

std::unique_ptr<TSeekThread> TMemSeeker::CreateSeekThread() {
    auto Thread = std::make_unique<TContexTSeekThread>(FContext, AttrMask(), Files(), Directory(),
                                                       ScanDrives(), ScanScope(), Recursive(), OnProcess,
                                                       OnFileFound, OnContextFound, FWorkers);
    Thread->OnEntryFailed = OnEntryFailed;
    return Thread;
}

void TMemSeeker::DefaultContextFound(const std::string&, const std::string&, int64_t, int64_t) {}
