#include "engine/Seeker.h"

#include "platform/Files.h"
#include "platform/ScopeGuard.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <exception>

// ---------------------------------------------------------------------------------------------------
// TSeekThread

TSeekThread::TSeekThread(bool ARecursive, uint32_t AAttrMask, const std::string& AFiles,
                         const std::string& ADirectory, TScanDrives AScanDrives, TScanScope AScanScope,
                         TOnProcess AOnProcess, TOnNextFile AOnFileFound)
    : OnFileFound(std::move(AOnFileFound)), OnProcess(std::move(AOnProcess)), Recursive(ARecursive),
      ScanScope(AScanScope), ScanDrives(AScanDrives), Directory(ADirectory), AttrMask(AAttrMask),
      Files(AFiles) {}

void TSeekThread::Execute() {
    SeekError = 0;
    ErrorMessage.clear();
    try {
        Seek();
    } catch (const std::exception& E) {
        StopOnError(E.what());
    } catch (...) {
        StopOnError("Unknown error");
    }
}

void TSeekThread::StopOnError(const std::string& Message) {
    SeekError = -1;
    ErrorMessage = Message;
}

void TSeekThread::Seek() {
    FMasks.clear();
    ParseMasks(FMasks, Files);
    switch (ScanScope) {
    case ssGlobal:
        WalkDrives();
        break;
    case ssSpecifiedDisk: {
        std::vector<TMount> Table = MountTable();
        TMount Drive;
        if (DriveOfFolder(Table, Directory, Drive))
            WalkDrive(Table, Drive.MountPoint);
        break;
    }
    case ssSpecifiedDir:
        WalkFolder(Directory);
        break;
    }
    FMasks.clear();
}

void TSeekThread::WalkDrives() {
    std::vector<TMount> Table = MountTable();
    for (const TMount& Drive : Drives(Table)) {
        bool Selected = (Drive.Type == dtRemovable && ScanDrives.Contains(sdFloppy)) ||
                        (Drive.Type == dtFixed && ScanDrives.Contains(sdHard)) ||
                        (Drive.Type == dtRemote && ScanDrives.Contains(sdNetwork)) ||
                        (Drive.Type == dtCDROM && ScanDrives.Contains(sdCDROM)) ||
                        (Drive.Type == dtRAMDisk && ScanDrives.Contains(sdRAM));
        if (Selected)
            WalkDrive(Table, Drive.MountPoint);
    }
}

void TSeekThread::WalkDrive(const std::vector<TMount>& Table, const std::string& MountPoint) {
    FOtherMounts.clear();
    for (const TMount& M : Table)
        if (M.MountPoint != MountPoint)
            FOtherMounts.push_back(M.MountPoint);
    std::sort(FOtherMounts.begin(), FOtherMounts.end());
    WalkFolder(MountPoint);
    FOtherMounts.clear();
}

void TSeekThread::WalkFolder(const std::string& Path) {
    if (SeekError != 0)
        return;
    CurrentPath = Path;
    FolderEntered();
    TFileFinder Finder(Path);
    if (!Finder.Opened())
        return;
    // After an error stop nothing more is reported or entered, so the listing is simply left.
    while (SeekError == 0 && !Terminated() && Finder.Next()) {
        // The name test comes first: it needs no system call.
        if (MatchesAnyMask(FMasks, Finder.Name()) && Finder.Load() &&
            (Finder.Record().Attr & AttrMask) == AttrMask) {
            FindData = Finder.Record();
            CurrentPath = Path;
            FileFound();
        }
        if (Recursive && Finder.IsDirectory()) {
            std::string Sub = JoinPath(Path, Finder.Name());
            if (!std::binary_search(FOtherMounts.begin(), FOtherMounts.end(), Sub))
                WalkFolder(Sub);
        }
    }
}

void TSeekThread::FileFound() {
    Synchronize([this] { DoFileFound(); });
}

void TSeekThread::FolderEntered() {
    Synchronize([this] { DoProcess(); });
}

void TSeekThread::DoFileFound() {
    if (!OnFileFound)
        return;
    ++FileCount;
    TotalSize += uint64_t(FindData.Size);
    // A time before 1980 (the 0 reproducible builds leave) or after 2107 is shown as the nearest.
    const TDateTime DateTime = DosDateTimeToDateTime(NearestDosDateTime(FindData.Time));
    OnFileFound(FindData.Name, CurrentPath, int32_t(FindData.Attr), FindData.Size, int32_t(EntryCount),
                DateTime);
}

void TSeekThread::DoProcess() {
    if (OnProcess)
        OnProcess(FileCount, TotalSize, EntryIndex, EntryCount, CurrentPath, 0, 0);
}

// ---------------------------------------------------------------------------------------------------
// TSeeker

TSeeker::TSeeker() : FLink(std::make_shared<TLink>(TLink{this})) {
    // The defaults reach the seeker through the link: a walk may outlive it.
    OnProcess = [Link = FLink](uint32_t ACount, uint64_t ASize, uint32_t AItem, uint32_t AItemCount,
                               const std::string& ACurrent, uint64_t ACurrentSize, uint64_t ACurrentPos) {
        if (Link->Seeker)
            Link->Seeker->DefaultProcess(ACount, ASize, AItem, AItemCount, ACurrent, ACurrentSize,
                                         ACurrentPos);
    };
    OnFileFound = [Link = FLink](const std::string& AName, const std::string& APath, int32_t AAttr,
                                 int64_t ASize, int32_t ACount, TDateTime ADateTime) {
        if (Link->Seeker)
            Link->Seeker->DefaultFileFound(AName, APath, AAttr, ASize, ACount, ADateTime);
    };
}

TSeeker::~TSeeker() {
    FLink->Seeker = nullptr;
    if (FThread)
        FThread->Terminate();
}

void TSeeker::Start() {
    if (Running())
        return;
    std::unique_ptr<TSeekThread> Thread = CreateSeekThread();
    Thread->OnTerminate = [Link = FLink] {
        if (Link->Seeker)
            Link->Seeker->ThreadDone();
    };
    Thread->SetFreeOnTerminate(true);
    Thread->SetPriority(FPriority);
    // A thread the system refuses is freed here and the seeker stays idle.
    Thread->Start();
    FThread = Thread.release();
}

void TSeeker::Stop() {
    if (Running())
        FThread->Terminate();
}

void TSeeker::ThreadDone() {
    // The seeker is idle again once the handler is over, also when it raises.
    TScopeGuard Clear([this] { FThread = nullptr; });
    if (OnProcessDone)
        OnProcessDone(FThread->FileCount, FThread->TotalSize);
}

std::unique_ptr<TSeekThread> TSeeker::CreateSeekThread() {
    return std::make_unique<TSeekThread>(FRecursive, AttrMask(), FFiles, FDirectory, FScanDrives, FScanScope,
                                         OnProcess, OnFileFound);
}

void TSeeker::DefaultProcess(uint32_t, uint64_t, uint32_t, uint32_t, const std::string&, uint64_t, uint64_t) {
}

void TSeeker::DefaultFileFound(const std::string&, const std::string&, int32_t, int64_t, int32_t, TDateTime) {
}
