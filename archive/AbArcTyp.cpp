#include "archive/AbArcTyp.h"

#include "archive/AbExcept.h"
#include "platform/Files.h"
#include "platform/ScopeGuard.h"
#include "platform/SysUtils.h"

#include <exception>

bool TAbArchiveItem::MatchesMask(const std::string& Mask) const {
    std::string M = Mask;
    StripDrive(M);
    std::string Name = GetFileName();
    ForwardToBackslash(Name);
    return NameMatchesMask(Name, M);
}

size_t TAbArchiveList::BucketOf(const std::string& Name) {
    uint32_t H = 0;
    for (char C : Name) {
        auto B = uint8_t(C);
        if (B >= 'a' && B <= 'z')
            B = uint8_t(B - 'a' + 'A');
        H = (H << 4) + B;
        uint32_t G = H & 0xF0000000u;
        if (G != 0)
            H ^= G >> 24;
        H &= ~G;
    }
    return H % BucketCount;
}

void TAbArchiveList::Link(TAbArchiveItem* Item) {
    TAbArchiveItem*& Head = FBuckets[BucketOf(Item->GetFileName())];
    Item->NextItem = Head;
    Head = Item;
}

void TAbArchiveList::Unlink(TAbArchiveItem* Item) {
    TAbArchiveItem** Link = &FBuckets[BucketOf(Item->GetFileName())];
    while (*Link && *Link != Item)
        Link = &(*Link)->NextItem;
    if (*Link)
        *Link = Item->NextItem;
    Item->NextItem = nullptr;
}

int TAbArchiveList::Add(std::unique_ptr<TAbArchiveItem> Item) {
    Link(Item.get());
    Item->FListIndex = int(FItems.size());
    FItems.push_back(std::move(Item));
    return int(FItems.size()) - 1;
}

int TAbArchiveList::Find(const std::string& Name) const {
    for (const TAbArchiveItem* P = FBuckets[BucketOf(Name)]; P; P = P->NextItem)
        if (SameTextAscii(P->GetFileName(), Name))
            return IndexOf(P);
    return -1;
}

int TAbArchiveList::IndexOf(const TAbArchiveItem* Item) const {
    if (!Item || Item->FListIndex < 0 || size_t(Item->FListIndex) >= FItems.size() ||
        FItems[size_t(Item->FListIndex)].get() != Item)
        return -1;
    return Item->FListIndex;
}

void TAbArchiveList::Delete(int Index) {
    TAbArchiveItem* Item = Items(Index);
    Unlink(Item);
    FItems.erase(FItems.begin() + Index);
    for (size_t I = size_t(Index); I < FItems.size(); ++I)
        FItems[I]->FListIndex = int(I);
}

void TAbArchiveList::Clear() {
    FBuckets.fill(nullptr);
    FItems.clear();
}

void TAbArchiveList::Rename(TAbArchiveItem* Item, const std::string& NewName) {
    Unlink(Item);
    Item->SetFileName(NewName);
    Link(Item);
}

TAbArchive::TAbArchive(const std::string& FileName, uint16_t AMode)
    : FArchiveName(FileName), FMode(AMode), FOwnedStream(std::make_unique<TFileStream>(FileName, AMode)) {
    Stream = FOwnedStream.get();
    SetBaseDirectory(ProgramFolder());
}

TAbArchive::TAbArchive(TStream& AStream, const std::string& FileName) : FArchiveName(FileName) {
    Stream = &AStream;
    SetBaseDirectory(ProgramFolder());
}

TAbArchive::~TAbArchive() = default;

void TAbArchive::Lock() {
    FPadLock.SetLocked(true);
    FStatus = asBusy;
}

void TAbArchive::Unlock() {
    if (FStatus == asBusy)
        FStatus = asIdle;
    FPadLock.SetLocked(false);
}

void TAbArchive::CheckValid() const {
    if (FStatus == asInvalid)
        throw EAbNoArchive();
}

void TAbArchive::SetBaseDirectory(const std::string& Value) {
    std::string Dir = Value;
    // The root keeps its "/": an empty base would put files into the working folder instead.
    if (Dir.size() > 1 && Dir.back() == '/')
        Dir.pop_back();
    if (!Dir.empty() && !DirectoryExists(Dir))
        throw EAbNoSuchDirectory();
    FBaseDirectory = Dir;
}

void TAbArchive::ReplaceStream(const std::string& FileName, uint16_t AMode) {
    if (!FOwnedStream)
        throw EAbZipBadSpanStream();
    // Opened first: a file that cannot be opened (a missing disk) leaves the one open in place.
    auto Next = std::make_unique<TFileStream>(FileName, AMode == fmCreate ? uint16_t(fmOpenRead) : AMode);
    Stream = nullptr;
    FOwnedStream = std::move(Next);
    Stream = FOwnedStream.get();
}

void TAbArchive::AdoptStream(std::unique_ptr<TStream> AStream) {
    FOwnedStream = std::move(AStream);
    Stream = FOwnedStream.get();
}

void TAbArchive::Load() {
    Lock();
    TScopeGuard Guard([this] { Unlock(); });
    std::exception_ptr Failure;
    try {
        LoadArchive();
        FStatus = asIdle;
    } catch (...) {
        Failure = std::current_exception();
    }
    DoLoad();
    if (Failure)
        std::rethrow_exception(Failure);
}

void TAbArchive::ClearTags() {
    for (int I = 0; I < Count(); ++I)
        Items(I)->Tagged = false;
}

void TAbArchive::TagItems(const std::string& Mask) {
    for (int I = 0; I < Count(); ++I)
        if (Items(I)->MatchesMask(Mask))
            Items(I)->Tagged = true;
}

void TAbArchive::Extract(TAbArchiveItem* Item, const std::string& NewName) {
    CheckValid();
    // By identity, not by name: entries whose names differ only in case (or repeat) stay distinct.
    int Index = FItemList.IndexOf(Item);
    if (Index >= 0)
        ExtractAt(Index, NewName);
}

void TAbArchive::ExtractAt(int Index, const std::string& NewName) {
    CheckValid();
    TAbArchiveItem* Item = Items(Index);
    if (Item->Action != aaNone)
        Save();
    Lock();
    TScopeGuard Guard([this] { Unlock(); });
    bool Confirm = true;
    DoConfirmProcessItem(Item, ptExtract, Confirm);
    if (!Confirm)
        return;
    std::string UseName = NewName.empty() ? Item->GetFileName() : NewName;
    CurrentItem = Item;
    try {
        ExtractItemAt(Index, UseName);
    } catch (const std::exception& E) {
        auto [ErrorClass, ErrorCode] = ClassifyError(E);
        DoProcessItemFailure(Item, ptExtract, ErrorClass, ErrorCode, E.what());
    }
}

void TAbArchive::ExtractFiles(const std::string& Mask) {
    SetBaseDirectory(FBaseDirectory);
    CheckValid();
    int N = Count();
    if (N == 0)
        return;
    TScopeGuard Finish([this] { FinishExtraction(); });
    bool Abort = false;
    for (int I = 0; I < N; ++I) {
        if (Items(I)->MatchesMask(Mask))
            ExtractAt(I, "");
        DoArchiveProgress(PercentOf(I + 1, N), Abort);
        if (Abort)
            throw EAbUserAbort();
    }
    DoArchiveProgress(100, Abort);
}

void TAbArchive::Save() {
    if (FStatus == asInvalid || !FIsDirty)
        return;
    Lock();
    TScopeGuard Guard([this] { Unlock(); });
    bool Confirm = true;
    DoConfirmSave(Confirm);
    if (!Confirm)
        return;
    SaveArchive();
    FIsDirty = false;
    DoSave();
}

void TAbArchive::Rename(TAbArchiveItem* Item, const std::string& NewName) {
    CheckValid();
    std::string Fixed;
    FixName(NewName, Fixed);
    for (int I = 0; I < Count(); ++I) {
        TAbArchiveItem* Other = Items(I);
        if (Other->Action != aaDelete && SameTextAscii(Other->GetFileName(), Fixed)) {
            DoProcessItemFailure(Item, ptRename, ecDuplicateName, 0, AbStrRes(AbZipDuplicateName));
            return;
        }
    }
    if (Item->Action != aaNone)
        Save();
    Lock();
    TScopeGuard Guard([this] { Unlock(); });
    bool Confirm = true;
    DoConfirmProcessItem(Item, ptRename, Confirm);
    if (!Confirm)
        return;
    FItemList.Rename(Item, Fixed);
    Item->Action = aaRename;
    FIsDirty = true;
    if (AutoSave)
        Save();
}

void TAbArchive::FixName(const std::string& FileName, std::string& NewName) {
    NewName = ApplyStoreOptions(FileName, StoreOptions);
}

std::string TAbArchive::ApplyStoreOptions(const std::string& FileName, const TAbStoreOptions& Options) const {
    std::string Name = FileName;
    if (DOSMode) {
        if (Name.empty() || Name[0] != '/')
            Name = FBaseDirectory + "/" + Name;
        Name = ShortPathName(Name);
    }
    if (Options.Contains(soStripDrive))
        StripDrive(Name);
    if (!Name.empty() && Name[0] == '/')
        Name.erase(0, 1);
    if (Options.Contains(soStripPath))
        Name = ExtractFileName(Name);
    if (Options.Contains(soRemoveDots))
        RemoveLeadingDots(Name);
    return Name;
}

void TAbArchive::DoProcessItemFailure(TAbArchiveItem* Item, TAbProcessType ProcessType,
                                      TAbErrorClass ErrorClass, int ErrorCode,
                                      const std::string& ErrorMessage) {
    if (OnProcessItemFailure)
        OnProcessItemFailure(this, Item, ProcessType, ErrorClass, ErrorCode, ErrorMessage);
}

void TAbArchive::DoArchiveProgress(uint8_t Progress, bool& Abort) {
    Abort = false;
    if (OnArchiveProgress)
        OnArchiveProgress(this, Progress, Abort);
}

void TAbArchive::DoArchiveItemProgress(TAbArchiveItem* Item, uint8_t Progress, bool& Abort) {
    Abort = false;
    if (OnArchiveItemProgress)
        OnArchiveItemProgress(this, Item, Progress, Abort);
}

void TAbArchive::DoConfirmProcessItem(TAbArchiveItem* Item, TAbProcessType ProcessType, bool& Confirm) {
    Confirm = true;
    if (OnConfirmProcessItem)
        OnConfirmProcessItem(this, Item, ProcessType, Confirm);
}

void TAbArchive::DoConfirmSave(bool& Confirm) {
    Confirm = true;
    if (OnConfirmSave)
        OnConfirmSave(this, Confirm);
}

void TAbArchive::DoLoad() {
    if (OnLoad)
        OnLoad(this);
}

void TAbArchive::DoSave() {
    if (OnSave)
        OnSave(this);
}

void TAbArchive::DoCurrentItemProgress(uint8_t Progress, bool& Abort) {
    Abort = false;
    DoArchiveItemProgress(CurrentItem, Progress, Abort);
}
