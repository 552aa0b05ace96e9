// The library's utilities: CRC-32 against zlib, percentages, wildcards against a step-by-step rule, paths and
// folders, the message tables.

#include "archive/AbUtils.h"
#include "archive/AbExcept.h"
#include "archive/AbSrMgr.h"
#include "common/TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace testutil;

TEST(AbUtils, Crc32AgreesWithZlibAtEveryLengthAndAlignment) {
    const std::string Data = RandomBytes(5000, 7);
    for (size_t Start = 0; Start < 20; ++Start)
        for (size_t End = Start; End < Data.size(); End += End < 400 ? 13 : 1000) {
            const size_t Half = (End - Start) / 2;
            uint32_t Crc = 0xFFFFFFFF;
            UpdateCrc32(Crc, Data.data() + Start, Half);
            UpdateCrc32(Crc, Data.data() + Start + Half, End - Start - Half);
            ASSERT_EQ(~Crc, Crc32(Data.substr(Start, End - Start))) << Start << " " << End;
        }
}

// Above 16,384,000 both are scaled by 256 with rounding; sizes past 4 GiB cannot overflow.
TEST(AbUtils, PercentOf) {
    const int64_t Cases[][3] = {{5, 0, 0},
                                {5, -3, 0},
                                {7, 7, 100},
                                {9, 7, 100},
                                {1, 3, 33},
                                {-4, 10, 0},
                                {16383900, 16384001, 100},
                                {16383900, 16384000, 99},
                                {int64_t(3) << 40, int64_t(4) << 40, 75},
                                {INT64_MAX / 2, INT64_MAX - 1, 50}};
    for (const auto& C : Cases)
        EXPECT_EQ(PercentOf(C[0], C[1]), C[2]) << C[0] << "/" << C[1];
}

namespace {

// The matching rule spelt out step by step, retrying at every star.
bool ReferenceMatch(const std::string& S, const std::string& P) {
    if (S.empty() || P.empty())
        return S.empty() && P.empty();
    if (P == "*" || P == "*.*")
        return true;
    size_t I = 0, J = 0;
    for (; J < P.size() && P[J] != '*'; ++I, ++J)
        if (I == S.size() || (P[J] != '?' && P[J] != S[I]))
            return false;
    if (J == P.size())
        return I == S.size();
    if (J == P.size() - 1)
        return true;
    for (size_t K = I; K <= S.size(); ++K)
        if (ReferenceMatch(S.substr(K), P.substr(J + 1)))
            return true;
    return false;
}

} // namespace

TEST(AbUtils, WildcardsFollowTheStepByStepRule) {
    EXPECT_TRUE(WildcardMatch("NODOT", "*.*"));
    EXPECT_FALSE(WildcardMatch("", "*"));
    EXPECT_FALSE(WildcardMatch("XXAB", "*AB*B"));
    std::mt19937 Gen(11);
    const std::string NameChars = "AB.", PatternChars = "AB.?**";
    for (int Round = 0; Round < 20000; ++Round) {
        std::string S, P;
        for (size_t N = Gen() % 7; N > 0; --N)
            S += NameChars[Gen() % NameChars.size()];
        for (size_t N = Gen() % 7; N > 0; --N)
            P += PatternChars[Gen() % PatternChars.size()];
        ASSERT_EQ(WildcardMatch(S, P), ReferenceMatch(S, P)) << "'" << S << "' '" << P << "'";
    }
    // Exponential retrying would not end here.
    EXPECT_FALSE(WildcardMatch(std::string(4000, 'A'), "*A*A*A*A*A*A*A*A*A*A*A*A*B"));
    // "?" is one character of a UTF-8 name.
    EXPECT_TRUE(WildcardMatch("docs/r\xC3\xA9sum\xC3\xA9.txt", "docs/r?sum?.txt"));
    EXPECT_FALSE(WildcardMatch("docs/r\xC3\xA9sum\xC3\xA9.txt", "docs/r??sum?.txt"));
    EXPECT_TRUE(NameMatchesMask("SRC/UNIT1.PAS", "*.PAS"));
    EXPECT_FALSE(NameMatchesMask("SRC/UNIT1.PAS", "LIB/*.PAS"));
    EXPECT_TRUE(NameMatchesMask("lib/unit1.pas", "LIB/*.PAS"));
    EXPECT_FALSE(NameMatchesMask("readme.txt", "*/*.TXT")); // no folder part to match "*/"
}

TEST(AbUtils, PathsAndFolders) {
    TAbPathParts Parts = SplitPath("dos\\dir/sub\\file.txt");
    EXPECT_EQ(Parts.Directory + "|" + Parts.Name, "dos/dir/sub/|file.txt");
    std::string P = "../../x/../y";
    RemoveLeadingDots(P);
    EXPECT_EQ(P, "x/../y");

    TScratchDir Dir;
    CreateDirectoryPath(Dir / "A/B/C");
    EXPECT_TRUE(DirectoryExists(Dir / "A/B/C"));
    // Relative paths start at their first folder.
    const auto Old = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path());
    CreateDirectoryPath("R/S");
    std::filesystem::current_path(Old);
    EXPECT_TRUE(DirectoryExists(Dir / "R/S"));
    WriteFile(Dir / "file", "x");
    EXPECT_EQ(ErrorOf<EInOutError>([&] { CreateDirectoryPath(Dir / "file/sub"); }),
              "Cannot create folder \"" + Dir / "file" + "\". File exists");
    WriteFile(Dir / "Sub/Deeper/File.Txt", "x");
    EXPECT_EQ(ShortPathName(Dir / "SUB/deeper/FILE.TXT"), Dir / "Sub/Deeper/File.Txt");
    EXPECT_THROW(ShortPathName(Dir / "Sub/Nothing.txt"), EAbFileNotFound);
}

namespace {

// A message table: magic, count, (id, offset, length) for each text, then the texts in UTF-16.
std::string Table(std::initializer_list<std::pair<uint32_t, std::u16string>> Entries) {
    std::string Index = "STR0" + Le(Entries.size(), 4), Texts;
    for (auto& [Id, Text] : Entries) {
        Index += Le(Id, 4) + Le(8 + 12 * Entries.size() + Texts.size(), 4) + Le(Text.size(), 4);
        for (char16_t U : Text)
            Texts += Le(U, 2);
    }
    return Index + Texts;
}

void Register(const std::string& Name, const std::string& Table) {
    RegisterRawResource(Name, reinterpret_cast<const uint8_t*>(Table.data()), Table.size());
}

} // namespace

// Missing ids and tables, a count promising more index entries than the table holds; copies
// into a buffer never pass its end nor cut a character.
TEST(MessageTable, MissingIdsBadTablesAndCopiesIntoABuffer) {
    EXPECT_EQ(AbStrRes(99), "");
    EXPECT_THROW(TAbStringResource("NO_SUCH_TABLE"), ETpsStringResourceError);
    static std::string Bad = Table({{1, u"x"}});
    Bad[4] = char(200); // more index entries than the table holds
    Register("TEST_BAD", Bad);
    EXPECT_THROW(TAbStringResource("TEST_BAD"), ETpsStringResourceError);

    static const std::string T = Table({{1, u"caf\u00e9 au lait"}, {2, u""}});
    Register("TEST_BUFFER", T);
    TAbStringResource Buffered("TEST_BUFFER");
    for (size_t MaxLen = 0; MaxLen <= 20; ++MaxLen) {
        std::vector<char> Buf(MaxLen + 8, '#');
        Buffered.GetStringToBuffer(1, Buf.data(), MaxLen);
        ASSERT_EQ(std::string(Buf.data() + MaxLen, 8), "########") << MaxLen;
        if (MaxLen == 0)
            continue;
        const std::string Got(Buf.data());
        EXPECT_LT(Got.size(), MaxLen);
        EXPECT_EQ(std::string("caf\xC3\xA9 au lait").compare(0, Got.size(), Got), 0);
    }
    char Buf[5];
    EXPECT_STREQ(Buffered.GetStringToBuffer(1, Buf, sizeof Buf), "caf"); // the two-byte letter does not fit
}
