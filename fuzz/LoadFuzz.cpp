// Loading an archive's directory from arbitrary bytes, then reading every entry's name and sizes.

#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"

// A disk request of a spanned set is answered with Cancel, without a prompt.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return int(idCancel); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream S;
    S.WriteBuffer(Data, int64_t(Size));
    TAbZipArchive A(S, "fuzz.zip");
    try {
        A.Load();
    } catch (const EAbException&) {
        return 0;
    } catch (const EReadError&) {
        return 0;
    }
    uint64_t Sum = 0;
    for (int I = 0; I < A.Count(); ++I) {
        const TAbZipItem* Item = A.Items(I);
        Sum += Item->GetFileName().size() + Item->GetCompressedSize() + Item->GetUncompressedSize() +
               Item->RelativeOffset() + Item->ExtraField().size() + Item->FileComment().size();
    }
    // Nonzero return values are reserved by the fuzzer; this only keeps the reads.
    return Sum == ~uint64_t(0) ? -1 : 0;
}
