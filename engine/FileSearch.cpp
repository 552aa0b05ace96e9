#include "engine/FileSearch.h"

#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <thread>

namespace {

const uint32_t FolderAttribute = 16;

} // namespace

// Scans an entry's bytes as they are decoded, so that no entry goes to disk to be read back.
class TFileSearch::TScanSink : public TAbDecodeOutput {
public:
    TScanSink(TMatchFinder& Finder, const std::function<bool()>& Stopped)
        : FFinder(Finder), FStopped(Stopped) {}
    void Write(const uint8_t* Data, size_t Count) override {
        if (FStopped())
            throw EAbUserAbort();
        FFinder.Feed(Data, Count);
        FTotal += int64_t(Count);
    }
    int64_t Total() const { return FTotal; }

private:
    TMatchFinder& FFinder;
    const std::function<bool()>& FStopped;
    int64_t FTotal = 0;
};

TFileSearch::TFileSearch(const TContext& Context, std::function<bool()> Stopped)
    : FContext(Context), FStopped(std::move(Stopped)), FFinder(Context) {}

void TFileSearch::Emit(TSearchEventKind Kind, int64_t Position) {
    if (FChanged || FJob->Fields.empty()) {
        FJob->Fields.push_back(FFields);
        FChanged = false;
    }
    FJob->Events.push_back({Kind, uint32_t(FJob->Fields.size() - 1), Position});
}

void TFileSearch::Run(TSearchJob& Job) {
    FJob = &Job;
    FFields = TSearchFields();
    FChanged = false;
    const std::string& Name = Job.Found.Name;
    const std::string Upper = UpperCaseAscii(Name);
    Set(&TSearchFields::EntryName, TSearchFields::sfEntryName, Upper);
    // A program is opened too: it may be a self-extracting archive. The walk reports programs only when
    // they are wanted.
    if (Upper.find(".ZIP") == std::string::npos && Upper.find(".EXE") == std::string::npos) {
        Set(&TSearchFields::ArcFileName, TSearchFields::sfArcFileName, std::string());
        SearchUnopened(JoinPath(Job.Path, Name));
    } else
        SearchArchive(IncludeTrailingSlash(Job.Path) + Name, Upper);
    // What the search left in the fields stays after its last event.
    if (FChanged)
        FJob->Fields.push_back(FFields);
    if (FStopped()) {
        Job.Events.clear();
        Job.Fields.clear();
        Job.Reasons.clear();
    }
    FJob = nullptr;
}

void TFileSearch::SearchArchive(const std::string& FileName, const std::string& Upper) {
    const std::string Folder = IncludeTrailingSlash(FJob->Path);
    Set(&TSearchFields::CurrentPath, TSearchFields::sfCurrentPath, Folder);
    Set(&TSearchFields::ArcFileName, TSearchFields::sfArcFileName, Folder + Upper);
    if (Upper.find(".ZIP") != std::string::npos && Upper.find(".EXE") != std::string::npos)
        Emit(ekBeep, 0);
    std::unique_ptr<TAbZipArchive> Archive;
    try {
        Archive = std::make_unique<TAbZipArchive>(FileName, fmOpenRead);
        Archive->Load();
    } catch (const std::exception&) {
        // Not a readable archive: searched as a plain file.
        Archive.reset();
        Set(&TSearchFields::ArcFileName, TSearchFields::sfArcFileName, std::string());
        SearchUnopened(FileName);
        return;
    }
    Set(&TSearchFields::EntryCount, TSearchFields::sfEntryCount, uint32_t(Archive->Count()));
    Set(&TSearchFields::EntryIndex, TSearchFields::sfEntryIndex, uint32_t(1));
    if (FContext.NamesOnly())
        SearchNames(*Archive, FContext.ContextAsString());
    else
        SearchEntries(*Archive);
}

void TFileSearch::SearchNames(TAbZipArchive& Archive, const std::string& Text) {
    Archive.ClearTags();
    for (const std::string& Mask : FContext.NameMaskList())
        Archive.TagItems(Mask);
    for (int I = 0; I < Archive.Count() && !FStopped(); ++I) {
        TAbZipItem* Item = Archive.Items(I);
        const std::string& Name = Item->GetFileName();
        if (Item->Tagged || NameHolds(Name, Text)) {
            Set(&TSearchFields::EntryIndex, TSearchFields::sfEntryIndex, uint32_t(I + 1));
            Set(&TSearchFields::EntryName, TSearchFields::sfEntryName, Name);
            ReportNameMatch();
            Emit(ekProcess, 0);
        }
    }
    Set(&TSearchFields::EntryIndex, TSearchFields::sfEntryIndex, uint32_t(std::max(Archive.Count(), 1)));
}

void TFileSearch::SearchEntries(TAbZipArchive& Archive) {
    if (Archive.Count() == 0)
        return;
    Archive.ClearTags();
    for (const std::string& Mask : FContext.FileFilterList()) {
        Archive.TagItems(Mask);
        if (Mask == "*.*")
            break;
    }
    for (int I = 0; I < Archive.Count() && !FStopped(); ++I) {
        TAbZipItem* Item = Archive.Items(I);
        if ((Item->ExternalFileAttributes() & FolderAttribute) != 0 || Item->GetUncompressedSize() == 0 ||
            !Item->Tagged)
            continue;
        Set(&TSearchFields::EntryIndex, TSearchFields::sfEntryIndex, uint32_t(I + 1));
        FFinder.Reset();
        TScanSink Sink(FFinder, FStopped);
        try {
            UnzipItemToSink(Archive, *Item, Sink);
        } catch (const std::exception& E) {
            // Damaged, encrypted without the password, an unknown method: what was found in the entry
            // before the failure does not count, and the entry is reported as not examined. (A stop
            // raises here too, but then no event of the file is delivered.)
            EntryFailed(Item->GetFileName(), E.what());
            continue;
        }
        Set(&TSearchFields::EntryName, TSearchFields::sfEntryName, Item->GetFileName());
        Set(&TSearchFields::FileSize, TSearchFields::sfFileSize, Sink.Total());
        EmitScan(Sink.Total());
    }
    Set(&TSearchFields::EntryIndex, TSearchFields::sfEntryIndex, uint32_t(Archive.Count()));
}

void TFileSearch::EntryFailed(const std::string& Name, const std::string& Reason) {
    Set(&TSearchFields::EntryName, TSearchFields::sfEntryName, Name);
    FJob->Reasons.push_back(Reason);
    Emit(ekEntryFailed, int64_t(FJob->Reasons.size() - 1));
}

void TFileSearch::SearchUnopened(const std::string& FileName) {
    if (!FContext.NamesOnly()) {
        SearchFile(FileName);
        return;
    }
    // Names-only never opens a file: it matches by its own name.
    if (NameHolds(FJob->Found.Name, FContext.ContextAsString()))
        ReportNameMatch();
}

bool TFileSearch::NameHolds(const std::string& Name, const std::string& Text) const {
    return FContext.CaseSensitive() ? Name.find(Text) != std::string::npos
                                    : UpperCaseAscii(Name).find(UpperCaseAscii(Text)) != std::string::npos;
}

void TFileSearch::ReportNameMatch() {
    // A name match has no place in the file.
    Set(&TSearchFields::FileSize, TSearchFields::sfFileSize, int64_t(0));
    Emit(ekContextFound, 0);
}

void TFileSearch::SearchFile(const std::string& FileName) {
    std::unique_ptr<TFileStream> File;
    try {
        File = std::make_unique<TFileStream>(FileName, fmOpenRead);
    } catch (const EStreamError&) {
        return;
    }
    if (FBuffer.empty())
        FBuffer.resize(size_t(FContext.BufferSizeKb()) * 1024);
    // Something that cannot seek (a pipe) has no size and nothing is read from it.
    const int64_t Size = std::max<int64_t>(File->Size(), 0);
    Set(&TSearchFields::FileSize, TSearchFields::sfFileSize, Size);
    FFinder.Reset();
    int64_t End = 0;
    while (End < Size && !FFinder.Satisfied() && !FStopped()) {
        const int64_t N = File->ReadAt(FBuffer.data(), int64_t(FBuffer.size()), End);
        if (N <= 0)
            break; // the file shrank meanwhile
        FFinder.Feed(FBuffer.data(), size_t(N));
        End += N;
    }
    EmitScan(End);
}

// A match belongs to the buffer it starts in, even when it ends in the next one.
void TFileSearch::EmitScan(int64_t Total) {
    const int64_t BufferSize = int64_t(FContext.BufferSizeKb()) * 1024;
    const std::vector<int64_t>& Offsets = FFinder.Offsets();
    size_t Next = 0;
    for (int64_t Start = 0; Start < Total; Start += BufferSize) {
        const int64_t End = std::min(Total, Start + BufferSize);
        for (; Next < Offsets.size() && Offsets[Next] < End; ++Next)
            Emit(ekContextFound, Offsets[Next]);
        Emit(ekProcess, End);
        if (FFinder.Satisfied() && Next > 0)
            return;
    }
}

unsigned DefaultSearchWorkers() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}
