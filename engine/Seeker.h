#pragma once
// The seeker component and its directory walk on a worker thread.

#include "engine/Masks.h"
#include "platform/DosDate.h"
#include "platform/Drives.h"
#include "platform/Find.h"
#include "platform/Sets.h"
#include "platform/Thread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    TSearchRec FindData;      // the file being reported
    int32_t SeekError = 0;    // -1 once an error has stopped the walk
    std::string ErrorMessage; // why the walk stopped, when SeekError is -1
    uint32_t EntryCount = 0;  // entries of the archive last opened by a content search
    uint32_t EntryIndex = 0;
    uint32_t FileCount = 0;
    uint64_t TotalSize = 0;
    std::string CurrentPath; // the folder being listed

protected:
    void Execute() override;
    virtual void Seek();
    virtual void DoProcess();
    virtual void DoFileFound();
    virtual void FileFound();
    // A folder is about to be listed (CurrentPath): reported through DoProcess on the main thread.
    virtual void FolderEntered();

    void WalkDrives();
    void WalkFolder(const std::string& Path);
    // Stops the walk: nothing more is reported or entered.
    void StopOnError(const std::string& Message);

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
