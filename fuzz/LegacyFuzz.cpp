// Unshrink, Unreduce and Explode over arbitrary bytes. The first four bytes choose the decoder and its
// parameters: decoder (low two bits) and its options, chunk size, and the stated uncompressed size (16 bits,
// in units of 16).

#include "FuzzIO.h"
#include "archive/AbExcept.h"
#include "archive/Explode.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 4)
        return 0;
    const uint8_t Choice = Data[0];
    const uint64_t Stated = (uint64_t(Data[2]) | uint64_t(Data[3]) << 8) * 16;
    TFuzzInput In(Data + 4, Size - 4, size_t(Data[1]) * 16 + 1);
    TFuzzOutput Out;
    try {
        switch (Choice & 3) {
        case 0:
            Unshrink(In, Out);
            break;
        case 1:
            // Factors 0 and 5 check the refusal of a factor out of range.
            Unreduce(In, Out, Stated, (Choice >> 2) % 6);
            break;
        default:
            Explode(In, Out, Stated, 1 + ((Choice >> 2) & 1), 2 + ((Choice >> 3) & 1));
            break;
        }
    } catch (const EAbException&) {
    } catch (const TFuzzOutput::TTooMuch&) {
    }
    // Nonzero return values are reserved by the fuzzer; this only keeps the reads.
    return Out.Edges() == ~0u ? -1 : 0;
}
