#pragma once
// Finding the search pattern in bytes that arrive piece by piece, as a decoder produces them or a file
// is read: every offset where the pattern starts, in ascending order, also across the pieces' ends.

#include "engine/Context.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TMatchFinder {
public:
    // Context must not change while the finder is used; an empty one is never fed.
    explicit TMatchFinder(const TContext& Context);

    // Starts over: the next byte fed is at offset 0 and no offset is known.
    void Reset();
    // Looks at the next Count bytes. Once the first match is known and the context wants only the first
    // one, what follows is not looked at.
    void Feed(const uint8_t* Data, size_t Count);

    // Where the pattern starts, ascending; at most one with the context's FirstEntryOnly.
    const std::vector<int64_t>& Offsets() const { return FOffsets; }
    bool Satisfied() const { return FFirstOnly && !FOffsets.empty(); }

private:
    // Records the places in Data[0, Count) where the whole pattern fits and starts; Base is Data's offset.
    void Scan(const uint8_t* Data, size_t Count, int64_t Base);
    bool Verify(const uint8_t* At) const;

    const TContext& FContext;
    size_t FLength;
    bool FFirstOnly;
    // Two bytes of the pattern that every candidate must show before the whole pattern is compared:
    // the rarest ones, so that few candidates pass. With the letter's case bit set, a letter of a
    // case-insensitive pattern matches in both cases.
    size_t FAt1 = 0, FAt2 = 0;
    uint8_t FByte1 = 0, FByte2 = 0, FFold1 = 0, FFold2 = 0;
    // The last bytes fed (fewer than the pattern): a match may start among them.
    uint8_t FCarry[TContext::MaxPatternLength];
    size_t FCarried = 0;
    int64_t FFed = 0;
    std::vector<int64_t> FOffsets;
};
