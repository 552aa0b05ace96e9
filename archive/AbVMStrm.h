#pragma once
// A seekable stream kept in 4 KiB pages: up to a memory budget in memory, the least recently used pages
// beyond it in a swap file ("VMS..." in the temporary folder) that exists from the first swap-out until
// the stream goes.

#include "platform/Classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TAbVirtualMemoryStream : public TStream {
public:
    static constexpr int64_t PageSize = 4096;
    static constexpr int MaxPages = 256;

    TAbVirtualMemoryStream();
    ~TAbVirtualMemoryStream() override;

    // Shrinking drops the pages past the end; growing reads as zeros.
    void SetSize(int64_t NewSize) override;
    // Up to the end of the stream; 0 at or past it.
    int64_t Read(void* Buffer, int64_t Count) override;
    // Always all of Count (0 at a negative position).
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Origins 0, 1 and 2; any other raises EAbVMSInvalidOrigin. The position is not clamped.
    int64_t Seek(int64_t Offset, int Origin) override;
    int64_t Size() override { return FSize; }

    // The budget, rounded up to whole pages, 1 to 256 of them; pages beyond it are swapped out now.
    void SetMemorySize(int64_t Bytes);
    int64_t MemorySize() const { return FMemorySize; }
    // Pages held in memory.
    size_t PageCount() const { return FPageList.size(); }

private:
    struct TPage {
        int64_t Offset;
        uint64_t Stamp;
        bool Changed;
        uint8_t Data[PageSize];
    };

    TPage& FindPage(int64_t Offset);
    void EvictLeastUsed();
    void OpenSwapFile();
    void SwapOut(const TPage& Page);
    void SwapIn(TPage& Page);
    void SeekSwap(int64_t Offset);

    TPage* FCurrentPage = nullptr;
    uint64_t FClock = 0;
    int64_t FMemorySize = 0;
    size_t FPageLimit = 0;
    std::vector<std::unique_ptr<TPage>> FPageList; // ascending offsets
    int64_t FPosition = 0;
    int64_t FSize = 0;
    std::string FSwapFileName;
    int64_t FSwapFileSize = 0;
    std::unique_ptr<TFileStream> FSwapFile;
};
