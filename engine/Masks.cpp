#include "engine/Masks.h"

#include "platform/SysUtils.h"

namespace {

// Compiles a mask text into steps, left to right.
class TMaskCompiler {
public:
    explicit TMaskCompiler(const std::string& Text) : FText(Text) {}

    TWildcard Compile() {
        const size_t N = FText.size();
        size_t I = 0;
        while (I < N) {
            const uint8_t C = uint8_t(FText[I]);
            if (C == '*') {
                FSkip = true; // several in a row act as one
                ++I;
            } else if (C == '?') {
                // After a star the "?" is dropped: "a*?c" is "a*c".
                if (!FSkip)
                    Add(Step(TWildcard::wkAnyChar), I + 1);
                ++I;
            } else if (C == '[') {
                I = CompileSet(I);
            } else {
                Add(Step(TWildcard::wkLiteral, UpCaseAscii(C)), I + 1);
                ++I;
            }
        }
        Add(Step(TWildcard::wkEnd), N + 1);
        return std::move(FOut);
    }

private:
    static TWildcard::TStep Step(TWildcard::TKind Kind, uint8_t Ch = 0) {
        TWildcard::TStep S;
        S.Kind = Kind;
        S.Ch = Ch;
        return S;
    }

    [[noreturn]] void Invalid(size_t Position) const {
        throw Exception(Format("'%s' is an invalid mask at (%d)", {FText, Position}));
    }

    // Position is 1-based, for the message.
    void Add(TWildcard::TStep New, size_t Position) {
        New.Skip = FSkip;
        if (FSkip && ++FStars > TMask::MaxStars)
            Invalid(Position);
        FSkip = false;
        FOut.Add(New);
    }

    // The set that starts with the "[" at Start; returns the index after its "]".
    size_t CompileSet(size_t Start) {
        const size_t N = FText.size();
        TWildcard::TStep Set = Step(TWildcard::wkSet);
        size_t I = Start + 1;
        if (I < N && FText[I] == '!') {
            Set.Invert = true;
            ++I;
        }
        int Last = -1;
        while (I < N && FText[I] != ']') {
            if (FText[I] == '-') {
                if (Last < 0)
                    Invalid(I + 1);
                if (I + 1 >= N)
                    Invalid(N + 1); // unclosed
                // A reversed range adds nothing.
                for (int Ch = Last; Ch <= UpCaseAscii(uint8_t(FText[I + 1])); ++Ch)
                    Set.Chars.set(size_t(Ch));
                I += 2;
            } else {
                Last = UpCaseAscii(uint8_t(FText[I]));
                Set.Chars.set(size_t(Last));
                ++I;
            }
        }
        if (I >= N)
            Invalid(N + 1);
        if (Set.Chars.none())
            Invalid(I + 1);
        Add(Set, Start + 1);
        return I + 1;
    }

    const std::string& FText;
    bool FSkip = false;
    int FStars = 0;
    TWildcard FOut;
};

} // namespace

TMask::TMask(const std::string& MaskText) : FSteps(TMaskCompiler(MaskText).Compile()) {}

void ParseMasks(TMaskCollection& Collection, const std::string& Text) {
    for (const std::string& Piece : SplitAtSemicolons(Text)) {
        const size_t First = Piece.find_first_not_of(' ');
        if (First != std::string::npos)
            Collection.push_back(
                TMultiMask{TMask(Piece.substr(First, Piece.find_last_not_of(' ') + 1 - First))});
    }
}

bool MatchesAnyMask(const TMaskCollection& Collection, const std::string& Name) {
    for (const TMultiMask& Item : Collection)
        if (Item.Mask.Matches(Name))
            return true;
    return false;
}
