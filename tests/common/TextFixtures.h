#pragma once
// The text layer's fixtures (tests/text/fixtures, made by make-fixtures.sh) and line splitting.

#include "common/TestUtil.h"

#include <sstream>
#include <string>
#include <vector>

namespace testutil {

inline std::string TextFixture(const std::string& Name) {
    return ReadFile(std::string(TARNLET_SOURCE_DIR) + "/tests/text/fixtures/" + Name);
}

// The lines of Text without their line feeds.
inline std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> L;
    std::istringstream S(Text);
    for (std::string Line; std::getline(S, Line);)
        L.push_back(Line);
    return L;
}

} // namespace testutil
