#include "engine/ContentSearch.h"

#include "archive/AbUnZPrc.h"
#include "platform/DataFiles.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const TempName = "temp.$x$";
const uint32_t FolderAttribute = 16;

// Finds, in order, the bytes of [P, End) equal to A or B. Each letter's next place is remembered, so a
// frequent letter next to a rare one does not make every step scan to the end of the buffer again.
class TEitherFinder {
public:
    TEitherFinder(const uint8_t* End, uint8_t A, uint8_t B) : FEnd(End), FA(A), FB(B) {}
    // The first wanted byte at P or after it (P never moves backwards), or nullptr.
    const uint8_t* Next(const uint8_t* P) {
        if (!FNextA || FNextA < P)
            FNextA = Find(P, FA);
        if (!FNextB || FNextB < P)
            FNextB = FA == FB ? FNextA : Find(P, FB);
        const uint8_t* R = std::min(FNextA, FNextB);
        return R == FEnd ? nullptr : R;
    }

private:
    const uint8_t* Find(const uint8_t* P, uint8_t C) const {
        const void* R = std::memchr(P, C, size_t(FEnd - P));
        return R ? static_cast<const uint8_t*>(R) : FEnd;
    }

    const uint8_t* FEnd;
    uint8_t FA, FB;
    const uint8_t* FNextA = nullptr;
    const uint8_t* FNextB = nullptr;
};

} // namespace

std::string TempFileName() {
    // Two searches at once (the window and the console, two windows) must not delete each other's entry
    // between its extraction and its scan: each process has a file of its own.
    return JoinPath(WritesBesideProgram() ? ProgramFolder() : TempFolder(),
                    std::string(TempName) + "." + std::to_string(CurrentProcessId()));
}

void THelper::UnzipEntry(TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName) {
    UnzipItemToFile(Sender, Item, NewName);
}

// ---------------------------------------------------------------------------------------------------
// TContexTSeekThread

TContexTSeekThread::TContexTSeekThread(std::shared_ptr<TContext> AContext, uint32_t AAttrMask,
                                       const std::string& AFiles, const std::string& ADirectory,
                                       TScanDrives AScanDrives, TScanScope AScanScope, bool ARecursive,
                                       TOnProcess AOnProcess, TOnNextFile AOnFileFound,
                                       TOnMatch AOnContextFound)
    : TSeekThread(ARecursive, AAttrMask, AFiles, ADirectory, AScanDrives, AScanScope, std::move(AOnProcess),
                  std::move(AOnFileFound)),
      Context(std::move(AContext)), OnContextFound(std::move(AOnContextFound)), FTempFile(TempFileName()) {
    Context->SetInUse(true);
    Buffer.resize(size_t(Context->BufferSizeKb()) * 1024);
}

TContexTSeekThread::~TContexTSeekThread() {
    // A thread that never ran still holds the context.
    if (!FReleased)
        Release();
}

void TContexTSeekThread::Execute() {
    TSeekThread::Execute();
    // Before the end notice: a search started from it finds the context free and no temporary file.
    Release();
}

void TContexTSeekThread::Release() {
    FReleased = true;
    std::vector<uint8_t>().swap(Buffer);
    Context->SetInUse(false);
    DeleteFile(FTempFile);
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

void TContexTSeekThread::FileFound() {
    TSeekThread::FileFound();
    // Only regular files have bytes to search: reading a pipe or a device named like an archive would
    // block the search or disturb the device, and a folder holds none.
    if (Context->IsEmpty() || (FindData.Attr & (attrDirectory | attrSystem)) != 0)
        return;
    const std::string Upper = UpperCaseAscii(FindData.Name);
    EntryName = Upper;
    if (Upper.find(".ZIP") == std::string::npos) {
        ArcFileName.clear();
        SearchUnopened(JoinPath(CurrentPath, FindData.Name));
        return;
    }
    CurrentPath = IncludeTrailingSlash(CurrentPath);
    ArcFileName = CurrentPath + Upper;
    if (Upper.find(".EXE") != std::string::npos)
        MessageBeep();
    const std::string FileName = CurrentPath + FindData.Name;
    std::unique_ptr<TAbZipArchive> Archive;
    try {
        Archive = std::make_unique<TAbZipArchive>(FileName, fmOpenRead);
        Archive->Load();
    } catch (const std::exception&) {
        // Not a readable archive: searched as a plain file.
        Archive.reset();
        ArcFileName.clear();
        SearchUnopened(FileName);
        return;
    }
    const std::string Text = Context->ContextAsString();
    EntryCount = uint32_t(Archive->Count());
    EntryIndex = 1;
    if (Context->NamesOnly())
        SearchNames(*Archive, Text);
    else
        SearchEntries(*Archive);
}

void TContexTSeekThread::SearchNames(TAbZipArchive& Archive, const std::string& Text) {
    Archive.ClearTags();
    for (const std::string& Mask : Context->NameMaskList())
        Archive.TagItems(Mask);
    for (int I = 0; I < Archive.Count(); ++I) {
        EntryIndex = uint32_t(I + 1);
        TAbZipItem* Item = Archive.Items(I);
        const std::string& Name = Item->GetFileName();
        if (Item->Tagged || NameHolds(Name, Text)) {
            EntryName = Name;
            ReportNameMatch();
            Synchronize([this] { DoProcess(); });
        }
    }
}

void TContexTSeekThread::SearchEntries(TAbZipArchive& Archive) {
    Archive.ExtractHandler = std::bind_front(&THelper::UnzipEntry, &FHelper);
    if (Archive.Count() == 0)
        return;
    // The entry goes to the temporary file's folder under the temporary file's name.
    Archive.SetBaseDirectory(ExtractFilePath(FTempFile));
    Archive.ClearTags();
    for (const std::string& Mask : Context->FileFilterList()) {
        Archive.TagItems(Mask);
        if (Mask == "*.*")
            break;
    }
    const std::string Name = ExtractFileName(FTempFile);
    for (int I = 0; I < Archive.Count(); ++I) {
        EntryIndex = uint32_t(I + 1);
        TAbZipItem* Item = Archive.Items(I);
        if ((Item->ExternalFileAttributes() & FolderAttribute) != 0 || Item->GetUncompressedSize() == 0 ||
            !Item->Tagged)
            continue;
        DeleteFile(FTempFile);
        // A failed extraction leaves no file: the entry is skipped.
        Archive.Extract(Item, Name);
        if (FileExists(FTempFile)) {
            EntryName = Item->GetFileName();
            SearchFile(FTempFile);
        }
    }
}

void TContexTSeekThread::SearchUnopened(const std::string& FileName) {
    if (!Context->NamesOnly()) {
        SearchFile(FileName);
        return;
    }
    // Names-only never opens a file: it matches by its own name.
    if (NameHolds(FindData.Name, Context->ContextAsString()))
        ReportNameMatch();
}

bool TContexTSeekThread::NameHolds(const std::string& Name, const std::string& Text) const {
    return Context->CaseSensitive() ? Name.find(Text) != std::string::npos
                                    : UpperCaseAscii(Name).find(UpperCaseAscii(Text)) != std::string::npos;
}

void TContexTSeekThread::ReportNameMatch() {
    // A name match has no place in the file.
    FileSize = 0;
    Position = 0;
    Synchronize([this] { DoContextFound(); });
}

void TContexTSeekThread::SearchFile(const std::string& FileName) {
    std::unique_ptr<TFileStream> File;
    try {
        File = std::make_unique<TFileStream>(FileName, fmOpenRead);
    } catch (const EStreamError&) {
        return;
    }
    // Something that cannot seek (a pipe) has no size and nothing is read from it.
    FileSize = std::max<int64_t>(File->Size(), 0);
    int64_t End = 0;
    while (End < FileSize && !Terminated()) {
        int64_t N = File->ReadAt(Buffer.data(), int64_t(Buffer.size()), End);
        if (N <= 0)
            break; // the file shrank meanwhile
        End += N;
        bool More = ScanBuffer(*File, size_t(N), End);
        Position = End;
        Synchronize([this] { DoProcess(); });
        if (!More)
            break;
    }
}

bool TContexTSeekThread::ScanBuffer(THandleStream& File, size_t N, int64_t End) {
    const TContext& C = *Context;
    const size_t L = size_t(C.PatternLength());
    const uint8_t Key = C.CaseSensitive() ? C.PatternData()[0] : C.UpperPattern()[0];
    // Without case, a letter key also stands for its lower-case form.
    const uint8_t Other = !C.CaseSensitive() && Key >= 'A' && Key <= 'Z' ? uint8_t(Key + 32) : Key;
    const int64_t Start = End - int64_t(N);
    const uint8_t* Data = Buffer.data();
    uint8_t Scratch[TContext::MaxPatternLength];
    TEitherFinder Candidates(Data + N, Key, Other);
    for (const uint8_t* P = Data; (P = Candidates.Next(P)) != nullptr; ++P) {
        const size_t I = size_t(P - Data);
        const uint8_t* At = P;
        if (I + L > N - 1) {
            // The pattern would reach the buffer's last byte or beyond: read it where it lies.
            if (File.ReadAt(Scratch, int64_t(L), Start + int64_t(I)) < int64_t(L))
                continue;
            At = Scratch;
        }
        if (C.MatchAt(At, int(L))) {
            Position = Start + int64_t(I);
            Synchronize([this] { DoContextFound(); });
            if (C.FirstEntryOnly())
                return false;
        }
        if (Terminated())
            return false;
    }
    return true;
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
    return std::make_unique<TContexTSeekThread>(FContext, AttrMask(), Files(), Directory(), ScanDrives(),
                                                ScanScope(), Recursive(), OnProcess, OnFileFound,
                                                OnContextFound);
}

void TMemSeeker::DefaultContextFound(const std::string&, const std::string&, int64_t, int64_t) {}
