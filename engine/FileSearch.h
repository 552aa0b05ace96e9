#pragma once
// The content search of one file the walk reports, as a worker runs it: its results are the events the
// search would hand to the main thread, kept until every file before it has had its events delivered.

#include "engine/Context.h"
#include "engine/MatchFinder.h"
#include "platform/Find.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TAbZipArchive;

// The search thread's fields that an event shows, as one file's search leaves them. Set tells which
// fields it has changed; the others keep what the files before it left.
struct TSearchFields {
    enum : uint8_t {
        sfEntryIndex = 1,
        sfEntryCount = 2,
        sfFileSize = 4,
        sfCurrentPath = 8,
        sfArcFileName = 16,
        sfEntryName = 32,
    };
    uint8_t Set = 0;
    uint32_t EntryIndex = 0;
    uint32_t EntryCount = 0;
    int64_t FileSize = 0;
    std::string CurrentPath;
    std::string ArcFileName;
    std::string EntryName;
};

// ekEntryFailed: the entry in the fields could not be examined; its Position indexes the job's Reasons.
enum TSearchEventKind : uint8_t { ekProcess, ekContextFound, ekBeep, ekEntryFailed };

struct TSearchEvent {
    TSearchEventKind Kind;
    uint32_t Fields;  // index of the fields in force, in the job's Fields
    int64_t Position; // the thread's Position for the event
};

// One step of the walk: a folder entered, or a file reported and, when Search is set, searched.
struct TSearchJob {
    bool IsFolder = false;
    std::string Path; // the folder being listed
    TSearchRec Found; // the file
    bool Search = false;
    // Filled by the worker:
    std::vector<TSearchFields> Fields;
    std::vector<TSearchEvent> Events;
    std::vector<std::string> Reasons; // why entries could not be examined
    std::string Failure;              // an error that ended the search of the file, after its events
    bool Done = false;                // under the pool's lock
};

// Searches reported files one after the other; each worker has its own. Stopped is asked often, also
// in the middle of an entry, and ends the file's search at once: its events no longer count.
class TFileSearch {
public:
    TFileSearch(const TContext& Context, std::function<bool()> Stopped);

    void Run(TSearchJob& Job);

private:
    class TScanSink;

    void SearchArchive(const std::string& FileName, const std::string& Upper);
    void EntryFailed(const std::string& Name, const std::string& Reason);
    void SearchNames(TAbZipArchive& Archive, const std::string& Text);
    void SearchEntries(TAbZipArchive& Archive);
    // A file that is not a readable archive: its bytes, or in names-only mode its own name.
    void SearchUnopened(const std::string& FileName);
    bool NameHolds(const std::string& Name, const std::string& Text) const;
    void ReportNameMatch();
    void SearchFile(const std::string& FileName);
    // The events of one scan of Total bytes: each buffer's matches, then the buffer's end.
    void EmitScan(int64_t Total);
    void Emit(TSearchEventKind Kind, int64_t Position);

    template <typename T> void Set(T TSearchFields::*Field, uint8_t Bit, T Value) {
        FFields.*Field = std::move(Value);
        FFields.Set |= Bit;
        FChanged = true;
    }

    const TContext& FContext;
    std::function<bool()> FStopped;
    std::vector<uint8_t> FBuffer;
    TMatchFinder FFinder;
    TSearchJob* FJob = nullptr;
    TSearchFields FFields;
    bool FChanged = false;
};

// The number of workers a search uses unless told otherwise: one per processor, at most 8.
unsigned DefaultSearchWorkers();
