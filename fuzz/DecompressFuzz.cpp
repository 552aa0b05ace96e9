// One entry through the decompressor: input reader, decryption, method dispatch, output cap and CRC. The
// first six bytes give the method, the flags (bit 0 encrypted, bit 1 8 KB dictionary, bit 2 literal tree)
// and the stated uncompressed size (up to 4 MiB); the rest is the entry's data.

#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"
#include "archive/AbZipCry.h"
#include "platform/Classes.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 6)
        return 0;
    static const uint16_t Methods[8] = {0, 1, 2, 3, 4, 5, 6, 8};
    const uint8_t Flags = Data[1];
    TMemoryStream Archive;
    Archive.WriteBuffer(Data + 6, int64_t(Size - 6));
    Archive.Seek(0, soFromBeginning);
    TStream* In = &Archive;
    TMemoryStream Out;
    std::unique_ptr<TAbZDecoder> Decoder;
    if (Flags & 1)
        Decoder = std::make_unique<TAbZDecoder>("secret", true, 0, In);
    TAbUnzipHelper Helper(In, Decoder.get(), Out);
    Helper.Method = Methods[Data[0] & 7];
    Helper.UncompressedSize = uint64_t(Data[2] | Data[3] << 8 | (Data[4] & 0x3F) << 16); // up to 4 MiB
    Helper.DictionarySize = Flags & 2 ? 2 : 1;
    Helper.ShannonFanoTreeCount = Flags & 4 ? 3 : 2;
    try {
        Helper.Decompress();
    } catch (const EAbException&) {
    } catch (const EReadError&) { // an encryption header cut short
    }
    return 0;
}
