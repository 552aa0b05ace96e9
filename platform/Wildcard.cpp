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
            ++P;
            continue;
        }
        if (StarStep == FSteps.size() || StarPos >= Name.size())
            return false;
        S = StarStep;
        P = StarPos + 1;
    }
}
