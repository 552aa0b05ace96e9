// File masks: stated cases, invalid masks and where they fail, lists, and trying every way to fill the stars.

#include "engine/Masks.h"

#include "platform/SysUtils.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <random>

namespace {

bool M(const std::string& Mask, const std::string& Name) {
    return TMask(Mask).Matches(Name);
}

// Tries every way of filling each star. Masks here hold letters, "?", "*" and the set "[AB]" only.
bool Reference(const std::string& Mask, size_t I, const std::string& Name, size_t N) {
    if (I == Mask.size())
        return N == Name.size();
    if (Mask[I] == '*') {
        // "?" right after a star is dropped, so "*?" is "*".
        size_t Next = I + 1;
        while (Next < Mask.size() && (Mask[Next] == '*' || Mask[Next] == '?'))
            ++Next;
        for (size_t K = N; K <= Name.size(); ++K)
            if (Reference(Mask, Next, Name, K))
                return true;
        return false;
    }
    if (N == Name.size())
        return false;
    const char Up = char(UpCaseAscii(uint8_t(Name[N])));
    if (Mask[I] == '[')
        return (Up == 'A' || Up == 'B') && Reference(Mask, I + 4, Name, N + 1);
    return (Mask[I] == '?' || char(UpCaseAscii(uint8_t(Mask[I]))) == Up) &&
           Reference(Mask, I + 1, Name, N + 1);
}

} // namespace

// Sets, ranges and UTF-8 names, which the reference below does not try. "?" and "[!...]" take one
// character of a UTF-8 name; a byte that begins no sequence is one.
TEST(Mask, StatedCasesInvalidMasksAndLists) {
    using P = std::pair<const char*, const char*>;
    for (auto [Mask, Name] :
         {P{"*.zip", "ARC.ZIP"}, P{"\xC3\xA9t\xC3\xA9.zip", "\xC3\xA9T\xC3\xA9.ZIP"}, P{"[a-c]x", "Cx"},
          P{"[!a-c]x", "dx"}, P{"[a-]]", "]"}, P{"[*?]", "?"}, P{"caf?.txt", "caf\xC3\xA9.txt"},
          P{"??.log", "\xE2\x82\xAC\xF0\x9F\x98\x80.log"}, P{"[!a]b", "\xC3\xA9\x62"},
          P{"??.txt", "\xC3\x41.txt"}})
        EXPECT_TRUE(M(Mask, Name)) << Mask << " " << Name;
    for (auto [Mask, Name] :
         {P{"*.*", "readme"}, P{"\xC3\xA9.zip", "\xC3\x89.zip"}, P{"{", "["}, P{"[!a-c]x", "ax"},
          P{"[!a-c]x", "x"}, P{"[c-a]x", "bx"}, P{"[*?]", "x"}, P{"???.txt", "\xC3\xA9t.txt"}})
        EXPECT_FALSE(M(Mask, Name)) << Mask << " " << Name;
    const auto Error = [](const std::string& Mask) {
        return testutil::ErrorOf<Exception>([&] { TMask{Mask}; });
    };
    for (auto [Mask, Position] :
         {std::pair{"[]x", 2}, {"[-a]", 2}, {"[ab", 4}, {"x[!]", 4}, {"[a-", 4}, {"[", 2}})
        EXPECT_EQ(Error(Mask),
                  "'" + std::string(Mask) + "' is an invalid mask at (" + std::to_string(Position) + ")");
    std::string Thirty;
    while (Thirty.size() < 60)
        Thirty += "*a";
    EXPECT_EQ(Error(Thirty) + Error("*****"), "") << "a run of stars is one star";
    EXPECT_EQ(Error(Thirty + "*b"), "'" + Thirty + "*b' is an invalid mask at (62)");
    // Backtracking over thirty stars would not end here.
    EXPECT_FALSE(M(Thirty + "b", std::string(250, 'a')));
    TMaskCollection List;
    ParseMasks(List, " *.zip ; ;;*.exe ;my file.*");
    EXPECT_EQ(List.size(), 3u) << "spaces around a mask and empty pieces are dropped";
    EXPECT_TRUE(MatchesAnyMask(List, "setup.Exe") && MatchesAnyMask(List, "MY FILE.txt"));
    EXPECT_FALSE(MatchesAnyMask(List, "a.zip ") || MatchesAnyMask(List, "readme.txt"));
    EXPECT_THROW(ParseMasks(List, "*.zip;[x"), Exception);
}

TEST(Mask, AgreesWithTryingEveryWayToFillTheStars) {
    std::mt19937 Gen(7);
    const std::string Pieces[] = {"a", "b", "*", "?", "*", "[AB]"};
    for (int Case = 0; Case < 4000; ++Case) {
        std::string Mask, Name;
        for (size_t I = Gen() % 8; I > 0; --I)
            Mask += Pieces[Gen() % 6];
        for (size_t I = Gen() % 9; I > 0; --I)
            Name += "abAB"[Gen() % 4];
        ASSERT_EQ(M(Mask, Name), Reference(Mask, 0, Name, 0)) << Mask << " " << Name;
    }
}
