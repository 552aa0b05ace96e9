#pragma once
// The matching core shared by the program's two kinds of wildcard mask: the walk's file masks and the
// archive's entry masks. Each compiles its own text into steps; one matcher runs them.

#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

class TWildcard {
public:
    enum TKind : uint8_t {
        wkLiteral,  // Ch
        wkAnyChar,  // any one character
        wkSet,      // a character in Chars, or not in it when Invert
        wkEnd,      // the end of the name
        wkNonEmpty, // one character or more, up to the end of the name
    };
    struct TStep {
        bool Skip = false; // a "*" stood before it: any run of characters may come first
        TKind Kind = wkLiteral;
        uint8_t Ch = 0;
        bool Invert = false;
        std::bitset<256> Chars;
    };

    // Steps are added in order; the last one must be wkEnd or wkNonEmpty.
    void Add(const TStep& Step) { FSteps.push_back(Step); }
    // Whether the steps cover the whole of Name. With Fold, "a" to "z" of the name compare as upper case
    // (the steps hold folded characters); other bytes compare exactly.
    bool Matches(std::string_view Name, bool Fold) const;

private:
    std::vector<TStep> FSteps;
};
