#include "archive/AbVMStrm.h"

#include "archive/AbExcept.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Keeps every page end representable.
constexpr int64_t MaxSize = std::numeric_limits<int64_t>::max() - 2 * TAbVirtualMemoryStream::PageSize;

int64_t PagesFor(int64_t Bytes) {
    return Bytes / TAbVirtualMemoryStream::PageSize + (Bytes % TAbVirtualMemoryStream::PageSize != 0);
}

} // namespace

TAbVirtualMemoryStream::TAbVirtualMemoryStream() {
    SetMemorySize(25 * PageSize);
    FindPage(0);
}

TAbVirtualMemoryStream::~TAbVirtualMemoryStream() {
    FSwapFile.reset();
    if (!FSwapFileName.empty())
        DeleteFile(FSwapFileName);
}

TAbVirtualMemoryStream::TPage& TAbVirtualMemoryStream::FindPage(int64_t Offset) {
    if (FCurrentPage && FCurrentPage->Offset == Offset) {
        FCurrentPage->Stamp = ++FClock;
        return *FCurrentPage;
    }
    auto ByOffset = [](const std::unique_ptr<TPage>& P, int64_t Off) { return P->Offset < Off; };
    auto It = std::lower_bound(FPageList.begin(), FPageList.end(), Offset, ByOffset);
    if (It == FPageList.end() || (*It)->Offset != Offset) {
        if (FPageList.size() >= FPageLimit)
            EvictLeastUsed();
        auto Page = std::make_unique<TPage>();
        Page->Offset = Offset;
        Page->Changed = false;
        if (FSwapFile && Offset < FSwapFileSize)
            SwapIn(*Page);
        else
            std::memset(Page->Data, 0, PageSize);
        It = FPageList.insert(std::lower_bound(FPageList.begin(), FPageList.end(), Offset, ByOffset),
                              std::move(Page));
    }
    FCurrentPage = It->get();
    FCurrentPage->Stamp = ++FClock;
    return *FCurrentPage;
}

void TAbVirtualMemoryStream::EvictLeastUsed() {
    // Ascending offsets, so on equal stamps the lowest offset goes.
    auto Oldest = std::min_element(FPageList.begin(), FPageList.end(),
                                   [](const auto& A, const auto& B) { return A->Stamp < B->Stamp; });
    if ((*Oldest)->Changed)
        SwapOut(**Oldest);
    if (FCurrentPage == Oldest->get())
        FCurrentPage = nullptr;
    FPageList.erase(Oldest);
}

void TAbVirtualMemoryStream::OpenSwapFile() {
    std::string Name = CreateUniqueTempFile(TempFolder(), "VMS");
    if (Name.empty())
        throw EAbVMSErrorOpenSwap(JoinPath(TempFolder(), "VMS"));
    try {
        FSwapFile = std::make_unique<TFileStream>(Name, fmOpenReadWrite);
    } catch (const EFOpenError&) {
        DeleteFile(Name);
        throw EAbVMSErrorOpenSwap(Name);
    }
    FSwapFileName = Name;
    FSwapFileSize = 0;
}

void TAbVirtualMemoryStream::SeekSwap(int64_t Offset) {
    if (FSwapFile->Seek(Offset, soFromBeginning) != Offset)
        throw EAbVMSSeekFail(FSwapFileName);
}

void TAbVirtualMemoryStream::SwapOut(const TPage& Page) {
    if (!FSwapFile)
        OpenSwapFile();
    SeekSwap(Page.Offset);
    if (FSwapFile->Write(Page.Data, PageSize) != PageSize)
        throw EAbVMSWriteFail(int(PageSize), FSwapFileName);
    FSwapFileSize = std::max(FSwapFileSize, Page.Offset + PageSize);
}

void TAbVirtualMemoryStream::SwapIn(TPage& Page) {
    SeekSwap(Page.Offset);
    if (FSwapFile->Read(Page.Data, PageSize) != PageSize)
        throw EAbVMSReadFail(int(PageSize), FSwapFileName);
}

int64_t TAbVirtualMemoryStream::Read(void* Buffer, int64_t Count) {
    if (FPosition < 0)
        return 0;
    Count = std::min(Count, FSize - FPosition);
    if (Count <= 0)
        return 0;
    auto* Out = static_cast<uint8_t*>(Buffer);
    for (int64_t Left = Count; Left > 0;) {
        int64_t InPage = FPosition % PageSize;
        int64_t N = std::min(Left, PageSize - InPage);
        std::memcpy(Out, FindPage(FPosition - InPage).Data + InPage, size_t(N));
        FPosition += N;
        Out += N;
        Left -= N;
    }
    return Count;
}

int64_t TAbVirtualMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (FPosition < 0 || Count < 0 || FPosition > MaxSize || Count > MaxSize - FPosition)
        return 0;
    auto* In = static_cast<const uint8_t*>(Buffer);
    for (int64_t Left = Count; Left > 0;) {
        int64_t InPage = FPosition % PageSize;
        int64_t N = std::min(Left, PageSize - InPage);
        TPage& Page = FindPage(FPosition - InPage);
        std::memcpy(Page.Data + InPage, In, size_t(N));
        Page.Changed = true;
        FPosition += N;
        In += N;
        Left -= N;
    }
    FSize = std::max(FSize, FPosition);
    return Count;
}

int64_t TAbVirtualMemoryStream::Seek(int64_t Offset, int Origin) {
    switch (Origin) {
    case soFromBeginning:
        FPosition = Offset;
        break;
    case soFromCurrent:
        FPosition += Offset;
        break;
    case soFromEnd:
        FPosition = FSize + Offset;
        break;
    default:
        throw EAbVMSInvalidOrigin(Origin);
    }
    return FPosition;
}

void TAbVirtualMemoryStream::SetSize(int64_t NewSize) {
    NewSize = std::clamp<int64_t>(NewSize, 0, MaxSize);
    if (NewSize < FSize) {
        // The page that keeps the new end must not bring the cut bytes back when the stream grows again.
        int64_t InPage = NewSize % PageSize;
        if (InPage != 0) {
            TPage& Page = FindPage(NewSize - InPage);
            std::memset(Page.Data + InPage, 0, size_t(PageSize - InPage));
            Page.Changed = true;
        }
        std::erase_if(FPageList, [&](const std::unique_ptr<TPage>& P) {
            if (P->Offset < NewSize)
                return false;
            if (P.get() == FCurrentPage)
                FCurrentPage = nullptr;
            return true;
        });
        // Cut the swap file too: a page written there later would otherwise bring old pages between
        // the new end and it back to life.
        FSwapFileSize = std::min(FSwapFileSize, PagesFor(NewSize) * PageSize);
        if (FSwapFile)
            FSwapFile->SetSize(FSwapFileSize);
    }
    FSize = NewSize;
    FPosition = std::min(FPosition, NewSize);
}

void TAbVirtualMemoryStream::SetMemorySize(int64_t Bytes) {
    int64_t Pages = std::clamp<int64_t>(PagesFor(std::max<int64_t>(Bytes, 0)), 1, MaxPages);
    FPageLimit = size_t(Pages);
    while (FPageList.size() > FPageLimit)
        EvictLeastUsed();
    FMemorySize = Pages * PageSize;
}
