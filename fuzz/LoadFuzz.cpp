// Loading an archive's directory from arbitrary bytes, then reading every entry's name and sizes.

#include "FuzzIO.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RefuseDiskRequests();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TArchiveInMemory M(Data, Size);
    if (!M.Load())
        return 0;
    const TAbZipArchive& A = M.Archive;
    uint64_t Sum = 0;
    for (int I = 0; I < A.Count(); ++I) {
        const TAbZipItem* Item = A.Items(I);
        Sum += Item->GetFileName().size() + Item->GetCompressedSize() + Item->GetUncompressedSize() +
               Item->RelativeOffset() + Item->ExtraField().size() + Item->FileComment().size();
    }
    // Nonzero return values are reserved by the fuzzer; this only keeps the reads.
    return Sum == ~uint64_t(0) ? -1 : 0;
}
