#include "engine/Context.h"

#include "platform/SysUtils.h"

#include <cstring>

TContext::TContext() = default;

std::string TContext::ContextAsString() const {
    if (IsEmpty())
        return "<Empty>";
    std::string S(reinterpret_cast<const char*>(FPattern.data()), size_t(FPatternLength));
    for (char& C : S)
        if (uint8_t(C) <= 32)
            C = FReplaceChar;
    return S;
}

void TContext::SetContextAsString(const std::string& S) {
    if (S.size() > size_t(MaxPatternLength))
        throw Exception(Format("The search string is %d bytes long; at most %d bytes are allowed",
                               {S.size(), MaxPatternLength}));
    if (FInUse)
        return;
    std::memcpy(FPattern.data(), S.data(), S.size());
    FPatternLength = int(S.size());
    RebuildFromPattern();
}

void TContext::RebuildFromPattern() {
    for (size_t I = 0; I < FPattern.size(); ++I)
        FUpperPattern[I] = UpCaseAscii(FPattern[I]);
    FNameMaskList.clear();
    std::string T = ContextAsString();
    if (T.find("*.") == std::string::npos && T.find(".*") == std::string::npos)
        return;
    FNameMaskList = SplitAtSemicolons(T);
}

void TContext::SetReplaceChar(char C) {
    if (!FInUse && uint8_t(C) > 32)
        FReplaceChar = C;
}

void TContext::SetCaseSensitive(bool Value) {
    if (!FInUse)
        FCaseSensitive = Value;
}

void TContext::SetNamesOnly(bool Value) {
    if (!FInUse)
        FNamesOnly = Value;
}

void TContext::SetFirstEntryOnly(bool Value) {
    if (!FInUse)
        FFirstEntryOnly = Value;
}

void TContext::SetFileFilter(const std::string& S) {
    if (FInUse)
        return;
    FFileFilter = S;
    // Even an empty filter is one mask.
    FFileFilterList = S.empty() ? std::vector<std::string>{S} : SplitAtSemicolons(S);
}

void TContext::SetBufferSizeKb(int N) {
    if (N < MinBufferSizeKb || N > MaxBufferSizeKb)
        throw Exception(
            Format("Buffer size must be integer between %d and %d", {MinBufferSizeKb, MaxBufferSizeKb}));
    if (!FInUse)
        FBufferSizeKb = N;
}

bool TContext::MatchAt(const uint8_t* P, int Len) const {
    if (Len != FPatternLength)
        return false;
    if (FCaseSensitive)
        return std::memcmp(P, FPattern.data(), size_t(Len)) == 0;
    for (int K = 0; K < Len; ++K)
        if (UpCaseAscii(P[K]) != FUpperPattern[size_t(K)])
            return false;
    return true;
}

void TContext::AssignContext(const TContext& Source) {
    if (FInUse || &Source == this)
        return;
    if (Source.IsEmpty())
        FPattern.fill(0);
    else
        std::memcpy(FPattern.data(), Source.FPattern.data(), size_t(Source.FPatternLength));
    FPatternLength = Source.FPatternLength;
    FCaseSensitive = Source.FCaseSensitive;
    FNamesOnly = Source.FNamesOnly;
    FReplaceChar = Source.FReplaceChar;
    RebuildFromPattern();
}
