#pragma once
// File masks: wildcard patterns matched against file and entry names.

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

// A wildcard mask compiled once: "*" any run, "?" one character, "[a-c]" and "[!a-c]" sets. Matching
// covers the whole name and ignores the case of "a" to "z".
class TMask {
public:
    // Raises Exception "'mask' is an invalid mask at (n)" for a set that is unclosed, empty or starts
    // with "-", and for more than MaxStars stars.
    explicit TMask(const std::string& MaskText);
    bool Matches(const std::string& Name) const;

    static constexpr int MaxStars = 30;

private:
    enum TStepKind : uint8_t { skLiteral, skAnyChar, skSet };
    struct TStep {
        bool Skip = false; // a "*" stood before it
        TStepKind Kind = skLiteral;
        uint8_t Ch = 0; // folded; 0 on the final step, which matches only the end of the name
        bool Invert = false;
        std::bitset<256> Chars; // folded
    };
    bool Test(const TStep& Step, const std::string& Name, size_t P) const;

    std::vector<TStep> Steps;
};

struct TMultiMask {
    TMask Mask;
};
using TMaskCollection = std::vector<TMultiMask>;

// Appends one mask per piece of Text, split at ";" (surrounding spaces trimmed, empty pieces skipped).
void ParseMasks(TMaskCollection& Collection, const std::string& Text);
bool MatchesAnyMask(const TMaskCollection& Collection, const std::string& Name);
