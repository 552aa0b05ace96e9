#include "platform/Wildcard.h"

#include "platform/SysUtils.h"

namespace {

bool Test(const TWildcard::TStep& Step, std::string_view Name, size_t P, bool Fold) {
    if (Step.Kind == TWildcard::wkEnd)
        return P == Name.size();
    if (P >= Name.size())
        return false;
    const uint8_t C = Fold ? UpCaseAscii(uint8_t(Name[P])) : uint8_t(Name[P]);
    switch (Step.Kind) {
    case TWildcard::wkLiteral:
        return C == Step.Ch;
    case TWildcard::wkSet:
        return Step.Chars.test(C) != Step.Invert;
    default:
        return true;
    }
}

// Bytes of the character at P: a whole UTF-8 sequence, or one byte of anything else.
size_t CharLength(std::string_view Name, size_t P) {
    const uint8_t Lead = uint8_t(Name[P]);
    const size_t Length = Lead >= 0xF0 && Lead < 0xF5 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC2 ? 2 : 1;
    if (Length == 1 || P + Length > Name.size())
        return 1;
    for (size_t I = 1; I < Length; ++I)
        if ((uint8_t(Name[P + I]) & 0xC0) != 0x80)
            return 1;
    return Length;
}

} // namespace

bool TWildcard::Matches(std::string_view Name, bool Fold) const {
    // Every step but a star takes exactly one character (the last takes the rest), so on a failure only
    // the latest star needs to take one more: an earlier star taking more only reaches the later one
    // further on. This finds what trying every way of filling the stars finds, in time linear in name
    // times steps.
    size_t S = 0, P = 0;
    size_t StarStep = FSteps.size(), StarPos = 0;
    for (;;) {
        const TStep& Step = FSteps[S];
        if (Step.Skip) {
            StarStep = S;
            StarPos = P;
        }
        if (Test(Step, Name, P, Fold)) {
            if (S + 1 == FSteps.size())
                return true;
            ++S;
            // "?" and a set that names what the character is not take a whole character of a UTF-8 name.
            P += Step.Kind == wkAnyChar || (Step.Kind == wkSet && Step.Invert) ? CharLength(Name, P) : 1;
            continue;
        }
        if (StarStep == FSteps.size() || StarPos >= Name.size())
            return false;
        S = StarStep;
        P = StarPos + CharLength(Name, StarPos);
    }
}
