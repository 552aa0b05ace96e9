#include "engine/Masks.h"

#include "platform/SysUtils.h"

namespace {

[[noreturn]] void InvalidMask(const std::string& MaskText, size_t Position) {
    throw Exception(Format("'%s' is an invalid mask at (%d)", {MaskText, Position}));
}

} // namespace

TMask::TMask(const std::string& MaskText) {
    const size_t N = MaskText.size();
    bool Skip = false;
    int Stars = 0;
    auto Step = [](TStepKind Kind, uint8_t Ch = 0) {
        TStep S;
        S.Kind = Kind;
        S.Ch = Ch;
        return S;
    };
    // Position is 1-based, for the message.
    auto Add = [&](TStep New, size_t Position) {
        New.Skip = Skip;
        if (Skip && ++Stars > MaxStars)
            InvalidMask(MaskText, Position);
        Skip = false;
        Steps.push_back(New);
    };
    size_t I = 0;
    while (I < N) {
        const uint8_t C = uint8_t(MaskText[I]);
        if (C == '*') {
            Skip = true;
            ++I;
        } else if (C == '?') {
            // After a star the "?" is dropped: "a*?c" is "a*c".
            if (!Skip)
                Add(Step(skAnyChar), I + 1);
            ++I;
        } else if (C == '[') {
            const size_t Start = I;
            TStep Set = Step(skSet);
            ++I;
            if (I < N && MaskText[I] == '!') {
                Set.Invert = true;
                ++I;
            }
            int Last = -1;
            while (I < N && MaskText[I] != ']') {
                if (MaskText[I] == '-') {
                    if (Last < 0)
                        InvalidMask(MaskText, I + 1);
                    if (I + 1 >= N)
                        InvalidMask(MaskText, N + 1); // unclosed
                    for (int Ch = Last; Ch <= UpCaseAscii(uint8_t(MaskText[I + 1])); ++Ch)
                        Set.Chars.set(size_t(Ch));
                    I += 2;
                } else {
                    Last = UpCaseAscii(uint8_t(MaskText[I]));
                    Set.Chars.set(size_t(Last));
                    ++I;
                }
            }
            if (I >= N)
                InvalidMask(MaskText, N + 1);
            if (Set.Chars.none())
                InvalidMask(MaskText, I + 1);
            Add(Set, Start + 1);
            ++I;
        } else {
            Add(Step(skLiteral, UpCaseAscii(C)), I + 1);
            ++I;
        }
    }
    Add(Step(skLiteral, 0), N + 1);
}

bool TMask::Test(const TStep& Step, const std::string& Name, size_t P) const {
    if (P >= Name.size())
        return Step.Kind == skLiteral && Step.Ch == 0;
    const uint8_t C = UpCaseAscii(uint8_t(Name[P]));
    switch (Step.Kind) {
    case skLiteral:
        return Step.Ch != 0 && C == Step.Ch;
    case skAnyChar:
        return true;
    case skSet:
        return Step.Chars.test(C) != Step.Invert;
    }
    return false;
}

bool TMask::Matches(const std::string& Name) const {
    // Every step but a star takes exactly one character, so on a failure only the latest star needs to
    // take one more: earlier stars cannot do better. This finds the same matches as trying every way of
    // filling the stars, in time linear in name times mask.
    size_t S = 0, P = 0;
    size_t StarStep = Steps.size(), StarPos = 0;
    for (;;) {
        const TStep& Step = Steps[S];
        if (Step.Skip) {
            StarStep = S;
            StarPos = P;
        }
        if (Test(Step, Name, P)) {
            if (S + 1 == Steps.size())
                return true;
            ++S;
            ++P;
            continue;
        }
        if (StarStep == Steps.size() || StarPos >= Name.size())
            return false;
        S = StarStep;
        P = StarPos + 1;
    }
}

void ParseMasks(TMaskCollection& Collection, const std::string& Text) {
    std::string Piece;
    auto Flush = [&] {
        while (!Piece.empty() && Piece.back() == ' ')
            Piece.pop_back();
        if (!Piece.empty())
            Collection.push_back(TMultiMask{TMask(Piece)});
        Piece.clear();
    };
    for (char C : Text) {
        if (C == ';')
            Flush();
        else if (C != ' ' || !Piece.empty())
            Piece += C;
    }
    Flush();
}

bool MatchesAnyMask(const TMaskCollection& Collection, const std::string& Name) {
    for (const TMultiMask& Item : Collection)
        if (Item.Mask.Matches(Name))
            return true;
    return false;
}
