#include "engine/SeekU.h"

#include "platform/SysUtils.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>

namespace {

bool M(const std::string& Mask, const std::string& Name) {
    return TMask(Mask).Matches(Name);
}

// The message of the invalid-mask error, or "" when the mask compiles.
std::string CompileError(const std::string& Mask) {
    try {
        TMask Compiled(Mask);
        return "";
    } catch (const Exception& E) {
        return E.what();
    }
}

size_t Count(const std::string& Text) {
    TMaskCollection List;
    ParseMasks(List, Text);
    return List.size();
}

} // namespace

TEST(Mask, StarsAndQuestionMarks) {
    EXPECT_TRUE(M("*", ""));
    EXPECT_TRUE(M("*", "anything.at.all"));
    EXPECT_TRUE(M("*.zip", "ARC.ZIP"));
    EXPECT_TRUE(M("*.zip", "arc.zip"));
    EXPECT_TRUE(M("*.zip", ".zip"));
    EXPECT_FALSE(M("*.zip", "arc.zip.bak"));
    EXPECT_FALSE(M("*.zip", "arczip"));
    EXPECT_TRUE(M("*.zip", "a.zip.zip")) << "the star must give back what the tail needs";
    EXPECT_TRUE(M("a?c", "abc"));
    EXPECT_FALSE(M("a?c", "ac"));
    EXPECT_FALSE(M("a?c", "abbc"));
    EXPECT_TRUE(M("a*?c", "ac")) << "a question mark after a star is dropped";
    EXPECT_TRUE(M("a*?c", "abbc"));
    EXPECT_TRUE(M("a**b", "ab"));
    EXPECT_TRUE(M("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(M("*a*b*c*", "xxcxxbxxaxx"));
    EXPECT_FALSE(M("abc", "ab"));
    EXPECT_FALSE(M("ab", "abc"));
    EXPECT_TRUE(M("", ""));
    EXPECT_FALSE(M("", "a"));
    EXPECT_FALSE(M("*.*", "readme")) << "no dot, no match";
}

TEST(Mask, FoldingTouchesOnlyAsciiLetters) {
    EXPECT_TRUE(M("\xC3\xA9t\xC3\xA9.zip", "\xC3\xA9T\xC3\xA9.ZIP"));
    EXPECT_FALSE(M("\xC3\xA9.zip", "\xC3\x89.zip"));
    EXPECT_FALSE(M("_", "\x7F"));
    EXPECT_FALSE(M("{", "["));
}

TEST(Mask, Sets) {
    EXPECT_TRUE(M("[a-c]x", "Bx"));
    EXPECT_TRUE(M("[A-C]x", "bx"));
    EXPECT_TRUE(M("[!a-c]x", "dx"));
    EXPECT_FALSE(M("[!a-c]x", "ax"));
    EXPECT_FALSE(M("[!a-c]x", "x")) << "an inverted set still takes one character";
    EXPECT_TRUE(M("[c-a]x", "cx"));
    EXPECT_FALSE(M("[c-a]x", "bx")) << "a reversed range adds nothing";
    EXPECT_TRUE(M("[a-]]", "]")) << "the character after '-' ends the range, whatever it is";
    EXPECT_TRUE(M("*[0-9].zip", "disk7.zip"));
    EXPECT_FALSE(M("*[0-9].zip", "diskA.zip"));
    EXPECT_TRUE(M("[*?]", "?"));
    EXPECT_FALSE(M("[*?]", "x"));
}

TEST(Mask, InvalidMasksNamePositions) {
    EXPECT_EQ(CompileError("[]x"), "'[]x' is an invalid mask at (2)");
    EXPECT_EQ(CompileError("[-a]"), "'[-a]' is an invalid mask at (2)");
    EXPECT_EQ(CompileError("[ab"), "'[ab' is an invalid mask at (4)");
    EXPECT_EQ(CompileError("x[!]"), "'x[!]' is an invalid mask at (4)");
    EXPECT_EQ(CompileError("[a-"), "'[a-' is an invalid mask at (4)");
    EXPECT_EQ(CompileError("["), "'[' is an invalid mask at (2)");
    std::string Thirty;
    for (int I = 0; I < 30; ++I)
        Thirty += "*a";
    EXPECT_EQ(CompileError(Thirty), "");
    EXPECT_EQ(CompileError(Thirty + "*"), "'" + Thirty + "*' is an invalid mask at (62)");
    EXPECT_EQ(CompileError(Thirty + "*b"), "'" + Thirty + "*b' is an invalid mask at (62)");
    EXPECT_EQ(CompileError("*****"), "") << "a run of stars is one star";
}

TEST(Mask, ManyStarsStayFast) {
    std::string Mask;
    for (int I = 0; I < 30; ++I)
        Mask += "*a";
    Mask += "b";
    std::string Name(250, 'a');
    auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(M(Mask, Name));
    EXPECT_TRUE(M(Mask, Name + "b"));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(1));
}

TEST(Mask, Lists) {
    EXPECT_EQ(Count("*.zip;*.exe"), 2u);
    EXPECT_EQ(Count("  *.zip ;  *.exe  "), 2u);
    EXPECT_EQ(Count("*.zip;"), 1u);
    EXPECT_EQ(Count("   "), 0u);
    EXPECT_EQ(Count(""), 0u);
    EXPECT_EQ(Count(";;*.zip"), 1u) << "empty pieces are skipped";

    TMaskCollection List;
    ParseMasks(List, " *.zip ; *.exe ");
    EXPECT_TRUE(MatchesAnyMask(List, "A.ZIP"));
    EXPECT_TRUE(MatchesAnyMask(List, "setup.Exe"));
    EXPECT_FALSE(MatchesAnyMask(List, "a.zip "));
    EXPECT_FALSE(MatchesAnyMask(List, "readme.txt"));
    ParseMasks(List, "my file.*");
    EXPECT_TRUE(MatchesAnyMask(List, "MY FILE.txt")) << "inner spaces belong to the mask";
    EXPECT_FALSE(MatchesAnyMask(TMaskCollection(), "a.zip"));

    TMaskCollection Bad;
    EXPECT_THROW(ParseMasks(Bad, "*.zip;[x"), Exception);
}

namespace {

// Straightforward reference: tries every way of filling each star. Masks here hold letters, "?", "*" and
// simple sets only.
bool Reference(const std::string& Mask, size_t M, const std::string& Name, size_t N) {
    if (M == Mask.size())
        return N == Name.size();
    char C = Mask[M];
    if (C == '*') {
        // "?" right after a star is dropped, so "*?" is "*".
        size_t Next = M + 1;
        while (Next < Mask.size() && (Mask[Next] == '*' || Mask[Next] == '?'))
            ++Next;
        for (size_t K = N; K <= Name.size(); ++K)
            if (Reference(Mask, Next, Name, K))
                return true;
        return false;
    }
    if (N == Name.size())
        return false;
    char Up = char(UpCaseAscii(uint8_t(Name[N])));
    if (C == '[') {
        size_t Close = Mask.find(']', M);
        bool In = Mask.substr(M + 1, Close - M - 1).find(Up) != std::string::npos;
        return In && Reference(Mask, Close + 1, Name, N + 1);
    }
    if (C != '?' && char(UpCaseAscii(uint8_t(C))) != Up)
        return false;
    return Reference(Mask, M + 1, Name, N + 1);
}

} // namespace

TEST(Mask, AgreesWithTryingEveryWayToFillTheStars) {
    std::mt19937 Gen(7);
    const std::string MaskChars = "ab*?*[AB]", NameChars = "abAB";
    for (int Case = 0; Case < 4000; ++Case) {
        std::string Mask, Name;
        for (size_t I = Gen() % 8; I > 0; --I) {
            size_t Pick = Gen() % 6;
            Mask += Pick == 5 ? std::string("[AB]") : std::string(1, MaskChars[Pick]);
        }
        for (size_t I = Gen() % 9; I > 0; --I)
            Name += NameChars[Gen() % NameChars.size()];
        ASSERT_EQ(M(Mask, Name), Reference(Mask, 0, Name, 0))
            << "mask '" << Mask << "' name '" << Name << "'";
    }
}
