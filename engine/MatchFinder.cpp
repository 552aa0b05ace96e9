#include "engine/MatchFinder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// How often a byte turns up in the text and programs people search, roughly: higher is more common.
int Commonness(uint8_t B) {
    static const char Letters[] = "etaoinsrhldcumfpgwybvkxjqz"; // most common first
    if (B >= 'a' && B <= 'z')
        return 200 - 7 * int(std::strchr(Letters, B) - Letters);
    if (B >= 'A' && B <= 'Z')
        return Commonness(uint8_t(B + 32)) / 4;
    if (B == ' ' || B == 0)
        return 255;
    if (B == 0xFF || B == '\n' || B == '\t' || B == '\r')
        return 60;
    if (B >= '0' && B <= '9')
        return 25;
    if (B < 32 || B >= 0x80)
        return 12;
    return 10; // punctuation
}

} // namespace

TMatchFinder::TMatchFinder(const TContext& Context)
    : FContext(Context), FLength(size_t(Context.PatternLength())), FFirstOnly(Context.FirstEntryOnly()) {
    const uint8_t* P = Context.CaseSensitive() ? Context.PatternData() : Context.UpperPattern();
    const bool Fold = !Context.CaseSensitive();
    if (FLength == 0)
        return;
    // A letter of a case-insensitive pattern stands for both its cases.
    auto Folded = [&](size_t I) { return Fold && P[I] >= 'A' && P[I] <= 'Z'; };
    auto Score = [&](size_t I) {
        return Folded(I) ? Commonness(P[I]) + Commonness(uint8_t(P[I] + 32)) : Commonness(P[I]);
    };
    std::vector<size_t> Order(FLength);
    for (size_t I = 0; I < FLength; ++I)
        Order[I] = I;
    // Stable: among equals the earlier position, which is verified first anyway.
    std::stable_sort(Order.begin(), Order.end(), [&](size_t A, size_t B) { return Score(A) < Score(B); });
    FAt1 = Order[0];
    FAt2 = FLength > 1 ? Order[1] : Order[0];
    auto Anchor = [&](size_t I, uint8_t& Byte, uint8_t& FoldBit) {
        FoldBit = Folded(I) ? 0x20 : 0;
        Byte = uint8_t(P[I] | FoldBit);
    };
    Anchor(FAt1, FByte1, FFold1);
    Anchor(FAt2, FByte2, FFold2);
}

void TMatchFinder::Reset() {
    FCarried = 0;
    FFed = 0;
    FOffsets.clear();
}

bool TMatchFinder::Verify(const uint8_t* At) const {
    return FContext.MatchAt(At, int(FLength));
}

void TMatchFinder::Feed(const uint8_t* Data, size_t Count) {
    if (Satisfied() || Count == 0)
        return;
    const size_t L = FLength;
    if (FCarried > 0) {
        // Matches that start in the carried bytes and end in Data. Joined is shorter than twice the
        // pattern, so every place Scan tries in it starts in the carried part.
        uint8_t Joined[2 * TContext::MaxPatternLength];
        const size_t Take = std::min(Count, L - 1);
        std::memcpy(Joined, FCarry, FCarried);
        std::memcpy(Joined + FCarried, Data, Take);
        Scan(Joined, FCarried + Take, FFed - int64_t(FCarried));
        if (Satisfied())
            return;
        if (Count < L - 1) {
            // Data is too short to end every match that starts in the carried bytes: keep the bytes
            // where a match may still start.
            const size_t Keep = std::min(L - 1, FCarried + Count);
            std::memmove(Joined, Joined + FCarried + Count - Keep, Keep);
            std::memcpy(FCarry, Joined, Keep);
            FCarried = Keep;
            FFed += int64_t(Count);
            return;
        }
    }
    Scan(Data, Count, FFed);
    FFed += int64_t(Count);
    FCarried = std::min(L - 1, Count);
    std::memcpy(FCarry, Data + Count - FCarried, FCarried);
}

void TMatchFinder::Scan(const uint8_t* D, size_t N, int64_t Base) {
    if (N < FLength)
        return;
    const size_t Last = N - FLength; // the last place where the pattern fits
    size_t P = 0;
#if defined(__SSE2__)
    // Sixteen places at a time: a place is a candidate when both anchor bytes are there. The loads end
    // at most at Last + 15 + (pattern length - 1), inside the data.
    const __m128i Byte1 = _mm_set1_epi8(char(FByte1)), Fold1 = _mm_set1_epi8(char(FFold1));
    const __m128i Byte2 = _mm_set1_epi8(char(FByte2)), Fold2 = _mm_set1_epi8(char(FFold2));
    for (; P + 15 <= Last; P += 16) {
        const __m128i V1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D + P + FAt1));
        const __m128i V2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D + P + FAt2));
        unsigned Mask = unsigned(_mm_movemask_epi8(_mm_and_si128(
            _mm_cmpeq_epi8(_mm_or_si128(V1, Fold1), Byte1), _mm_cmpeq_epi8(_mm_or_si128(V2, Fold2), Byte2))));
        while (Mask) {
            const size_t At = P + size_t(std::countr_zero(Mask));
            Mask &= Mask - 1;
            if (Verify(D + At)) {
                FOffsets.push_back(Base + int64_t(At));
                if (FFirstOnly)
                    return;
            }
        }
    }
#endif
    for (; P <= Last; ++P)
        if ((D[P + FAt1] | FFold1) == FByte1 && (D[P + FAt2] | FFold2) == FByte2 && Verify(D + P)) {
            FOffsets.push_back(Base + int64_t(P));
            if (FFirstOnly)
                return;
        }
}
