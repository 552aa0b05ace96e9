#include "archive/AbUtils.h"
#include "archive/AbExcept.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <zlib.h>

using testutil::TScratchDir;

namespace {

uint32_t Crc32Of(const std::string& S) {
    uint32_t Crc = 0xFFFFFFFF;
    UpdateCrc32(Crc, S.data(), S.size());
    return ~Crc;
}

} // namespace

TEST(Crc32, CheckValueZlibAgreementAndPiecesOfAnyLengthAndAlignment) {
    EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
    uint32_t Crc = 0xFFFFFFFF;
    for (char C : std::string("123456789"))
        Crc = UpdateCrc32Byte(uint8_t(C), Crc);
    EXPECT_EQ(~Crc, 0xCBF43926u);

    std::string Data = testutil::RandomBytes(1 << 20, 7);
    uLong Z = crc32(0L, reinterpret_cast<const Bytef*>(Data.data()), uInt(Data.size()));
    EXPECT_EQ(Crc32Of(Data), uint32_t(Z));

    Data.resize(300);
    const uint32_t Whole = Crc32Of(Data);
    for (size_t Cut1 = 0; Cut1 < 20; ++Cut1)
        for (size_t Cut2 = Cut1; Cut2 < Data.size(); Cut2 += 37) {
            Crc = 0xFFFFFFFF;
            UpdateCrc32(Crc, Data.data(), Cut1);
            UpdateCrc32(Crc, Data.data() + Cut1, Cut2 - Cut1);
            UpdateCrc32(Crc, Data.data() + Cut2, Data.size() - Cut2);
            ASSERT_EQ(~Crc, Whole) << Cut1 << " " << Cut2;
        }
}

TEST(ReverseBits, AllWidthsAgainstBitByBit) {
    for (unsigned Bits = 1; Bits <= 16; ++Bits)
        for (unsigned Code = 0; Code<(1u << Bits); Code += Bits> 12 ? 7 : 1) {
            unsigned Expected = 0;
            for (unsigned B = 0; B < Bits; ++B)
                if (Code & (1u << B))
                    Expected |= 1u << (Bits - 1 - B);
            ASSERT_EQ(ReverseBits(Code, Bits), Expected) << Code << "/" << Bits;
        }
    uint16_t C = 0x1234;
    ReverseBits16(C);
    EXPECT_EQ(C, 0x2C48);
}

TEST(PercentOf, EdgesAndScaling) {
    EXPECT_EQ(PercentOf(5, 0), 0);
    EXPECT_EQ(PercentOf(5, -3), 0);
    EXPECT_EQ(PercentOf(7, 7), 100);
    EXPECT_EQ(PercentOf(9, 7), 100);
    EXPECT_EQ(PercentOf(1, 3), 33);
    EXPECT_EQ(PercentOf(-4, 10), 0);
    // Above 16,384,000 both are scaled by 256 with rounding: these become 64000 and 64000.
    EXPECT_EQ(PercentOf(16383900, 16384001), 100);
    EXPECT_EQ(PercentOf(16383900, 16384000), 99);
    // Sizes past 4 GiB.
    EXPECT_EQ(PercentOf(int64_t(3) << 40, int64_t(4) << 40), 75);
    EXPECT_EQ(PercentOf(INT64_MAX / 2, INT64_MAX - 1), 50);
}

namespace {

// The matching rule spelt out step by step, retrying at every star.
bool ReferenceMatch(const std::string& S, const std::string& P) {
    if (S.empty())
        return P.empty();
    if (P == "*" || P == "*.*")
        return true;
    if (P.empty())
        return false;
    size_t I = 0, J = 0;
    for (;;) {
        if (I == S.size() && J == P.size())
            return true;
        if (J == P.size())
            return false;
        if (P[J] == '*')
            break;
        if (I == S.size() || (P[J] != '?' && P[J] != S[I]))
            return false;
        ++I;
        ++J;
    }
    if (J == P.size() - 1)
        return true;
    for (size_t K = I; K <= S.size(); ++K)
        if (ReferenceMatch(S.substr(K), P.substr(J + 1)))
            return true;
    return false;
}

} // namespace

// The stated cases pin down the reference rule; random input then holds the matcher to it.
TEST(WildcardMatch, StatedCasesAndTheStepByStepRuleOnRandomInput) {
    struct {
        const char *S, *Pattern;
        bool Matches;
    } Cases[] = {{"NODOT", "*.*", true},   {"", "", true},           {"", "*", false},
                 {"A", "", false},         {"ABC", "A?C", true},     {"AC", "A?C", false},
                 {"XXAB", "*AB*B", false}, {"XXABB", "*AB*B", true}, {"UNIT1.PAS", "*.PA", false}};
    for (auto& C : Cases) {
        EXPECT_EQ(WildcardMatch(C.S, C.Pattern), C.Matches) << "'" << C.S << "' '" << C.Pattern << "'";
        EXPECT_EQ(ReferenceMatch(C.S, C.Pattern), C.Matches) << "'" << C.S << "' '" << C.Pattern << "'";
    }
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
}

TEST(WildcardMatch, ManyStarsStayFast) {
    std::string Name(4000, 'A');
    auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch(Name, "*A*A*A*A*A*A*A*A*A*A*A*A*B"));
    EXPECT_TRUE(WildcardMatch(Name + "B", "*A*A*A*A*A*A*A*A*A*A*A*A*B"));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(1));
}

TEST(NameMatchesMask, FolderPartsAndCase) {
    EXPECT_TRUE(NameMatchesMask("SRC/UNIT1.PAS", "*.PAS"));
    EXPECT_FALSE(NameMatchesMask("SRC/UNIT1.PAS", "LIB/*.PAS"));
    EXPECT_TRUE(NameMatchesMask("lib/unit1.pas", "LIB/*.PAS"));
    EXPECT_TRUE(NameMatchesMask("a/b/readme.txt", "*/B/*.TXT"));
    EXPECT_FALSE(NameMatchesMask("readme.txt", "*/*.TXT")); // no folder part to match "*/"
}

TEST(PathRoutines, SeparatorsDotsAndCounting) {
    TAbPathParts Parts = SplitPath("dos\\dir/sub\\file.txt");
    EXPECT_EQ(Parts.Drive, "");
    EXPECT_EQ(Parts.Directory, "dos/dir/sub/");
    EXPECT_EQ(Parts.Name, "file.txt");

    std::string P = "/abs\\x.c";
    StripDrive(P);
    EXPECT_EQ(P, "/abs/x.c");
    P = "../../x/../y";
    RemoveLeadingDots(P);
    EXPECT_EQ(P, "x/../y");

    EXPECT_EQ(NthBackslash("/a/bc/d", 3), 5u);
    EXPECT_EQ(NthBackslash("/a/bc/d", 4), 7u);
    EXPECT_EQ(NthBackslash("abc", 1), 3u);
}

TEST(Folders, CreateDirectoryPathBuildsTheChain) {
    TScratchDir Dir;
    std::string Deep = Dir / "A/B/C";
    CreateDirectoryPath(Deep);
    EXPECT_TRUE(DirectoryExists(Dir / "A"));
    EXPECT_TRUE(DirectoryExists(Deep));
    CreateDirectoryPath(Deep + "/"); // exists already: nothing to do
    EXPECT_FALSE(DirectoryExists(Dir / "A*"));

    // Relative paths start at their first folder.
    std::string Old = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path());
    CreateDirectoryPath("R/S");
    std::filesystem::current_path(Old);
    EXPECT_TRUE(DirectoryExists(Dir / "R/S"));

    testutil::WriteFile(Dir / "file", "x");
    try {
        CreateDirectoryPath(Dir / "file/sub");
        FAIL() << "a file in the way must raise";
    } catch (const EInOutError& E) {
        EXPECT_EQ(E.ErrorCode, EEXIST);
        EXPECT_EQ(E.Path, Dir / "file");
        EXPECT_EQ(std::string(E.what()), "Cannot create folder \"" + Dir / "file" + "\". File exists");
    }
}

TEST(Folders, ShortPathNameSpellsEachPartAsOnDisk) {
    TScratchDir Dir;
    CreateDirectoryPath(Dir / "Sub/Deeper");
    testutil::WriteFile(Dir / "Sub/Deeper/File.Txt", "x");
    EXPECT_EQ(ShortPathName(Dir / "SUB/deeper/FILE.TXT"), Dir / "Sub/Deeper/File.Txt");
    try {
        ShortPathName(Dir / "Missing/File.Txt");
        FAIL() << "a missing folder must raise";
    } catch (const EAbFileNotFound&) {
        FAIL() << "a missing folder is not a missing file";
    } catch (const EAbException& E) {
        EXPECT_STREQ(E.what(), "Path not found");
    }
    EXPECT_THROW(ShortPathName(Dir / "Sub/Nothing.txt"), EAbFileNotFound);
}

TEST(ClassifyError, OrderAndCodes) {
    auto Check = [](const std::exception& E, TAbErrorClass Class, int Code) {
        auto [C, N] = ClassifyError(E);
        EXPECT_EQ(C, Class) << E.what();
        EXPECT_EQ(N, Code) << E.what();
    };
    Check(EAbZipBadCRC(), ecArchiveError, 23);
    Check(EAbVMSSeekFail("swap"), ecArchiveError, 203);
    Check(EInOutError("write", "/full/disk", ENOSPC), ecInOutError, ENOSPC);
    Check(EReadError("Stream read error"), ecFilerError, 0);
    Check(EFOpenError("cannot open"), ecFileOpenError, 0);
    Check(EFCreateError("cannot create"), ecFileCreateError, 0);
    Check(std::runtime_error("other"), ecOtherError, 0);
}

TEST(PadLock, ReentrantForItsHolderAndExclusiveForOthers) {
    TAbPadLock Lock;
    Lock.SetLocked(false); // not held: nothing happens
    Lock.SetLocked(true);
    Lock.SetLocked(true);
    EXPECT_TRUE(Lock.Locked());
    std::atomic<bool> Entered{false};
    std::thread Other([&] {
        Lock.SetLocked(true);
        Entered = true;
        Lock.SetLocked(false);
    });
    Lock.SetLocked(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(Entered); // still held once
    Lock.SetLocked(false);
    Other.join();
    EXPECT_TRUE(Entered);
    EXPECT_FALSE(Lock.Locked());
}
