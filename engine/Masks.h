#pragma once
// File masks: wildcard patterns matched against file and entry names.

#include "platform/Wildcard.h"

#include <string>
#include <vector>

// A wildcard mask compiled once: "*" any run, "?" one character, "[a-c]" and "[!a-c]" sets. Matching
// covers the whole name and ignores the case of "a" to "z". "*.*" is taken literally and needs a dot in
// the name: these masks choose files on disk ("*.zip;*.exe"), where every name is a plain name.
class TMask {
public:
    // Raises Exception "'mask' is an invalid mask at (n)" for a set that is unclosed, empty or starts
    // with "-", and for more than MaxStars stars.
    explicit TMask(const std::string& MaskText);
    bool Matches(const std::string& Name) const { return FSteps.Matches(Name, true); }

    static constexpr int MaxStars = 30;

private:
    TWildcard FSteps;
};

struct TMultiMask {
    TMask Mask;
};
using TMaskCollection = std::vector<TMultiMask>;

// Appends one mask per piece of Text, split at ";" (surrounding spaces trimmed, empty pieces skipped).
void ParseMasks(TMaskCollection& Collection, const std::string& Text);
bool MatchesAnyMask(const TMaskCollection& Collection, const std::string& Name);
