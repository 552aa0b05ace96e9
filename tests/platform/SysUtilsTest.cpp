// Text formatting, the DOS code page and UTF-8 against Python's codecs, and DOS dates.

#include "platform/SysUtils.h"
#include "common/TestUtil.h"
#include "platform/CodePage.h"
#include "platform/DosDate.h"

#include <gtest/gtest.h>
#include <sstream>

TEST(Format, FollowsTheProgramsRulesAndRefusesBadArguments) {
    EXPECT_EQ(Format("CRC: %x %x", {0xCBF43926u, -1}), "CRC: CBF43926 FFFFFFFF");
    EXPECT_EQ(Format("%d of %d, %f", {3, 4u, 2.0}), "3 of 4, 2.00");
    EXPECT_EQ(Format("Ratio: %2.0f%%", {41.6}), "Ratio: 42%");
    EXPECT_EQ(Format("[%5s|%-3d]", {"ab", 7}), "[   ab|7  ]");
    for (const char* Bad : {"%d and %d", "%s", "%q", "trailing %"})
        EXPECT_THROW(Format(Bad, {1}), EConvertError) << Bad;
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
}

// Every byte of the DOS code page as Python's cp437 codec reads it, and back.
TEST(CodePage, Cp437AgreesWithPython) {
    std::string All, Expected, Back;
    for (int B = 0; B < 256; ++B)
        All += char(B);
    testutil::Run(
        "python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)).decode(\"cp437\").encode())'",
        &Expected);
    EXPECT_EQ(OemToAnsi(All), Expected);
    EXPECT_TRUE(AnsiToOem(Expected, Back) && Back == All);
    EXPECT_FALSE(AnsiToOem("\xE6\x97\xA5", Back)); // not in CP437
    EXPECT_EQ(Back, All);
}

// Python's strict decoder is the reference: overlong forms, surrogates and code points past U+10FFFF are
// refused, so an overlong "/" can never pass for a folder separator.
TEST(CodePage, Utf8DecoderAgreesWithPython) {
    std::string Verdicts;
    ASSERT_EQ(testutil::Run("python3 -c 'import random\nr = random.Random(5)\n"
                            "b = bytes.fromhex(\"2f4180afbfc0c1c2dfe0edeff0f4f59fa08f90ff\")\n"
                            "for _ in range(4000):\n s = bytes(r.choice(b) for _ in range(r.randint(1, 6)))\n"
                            " try: s.decode(); print(s.hex(), 1)\n except ValueError: print(s.hex(), 0)'",
                            &Verdicts),
              0);
    std::istringstream Lines(Verdicts);
    std::string Hex;
    int Valid = 0, Count = 0;
    for (; Lines >> Hex >> Valid; ++Count) {
        std::string S;
        for (size_t I = 0; I < Hex.size(); I += 2)
            S += char(std::stoi(Hex.substr(I, 2), nullptr, 16));
        ASSERT_EQ(IsUtf8(S), Valid == 1) << Hex;
    }
    EXPECT_EQ(Count, 4000);
    // Every code point comes back from its encoding.
    for (uint32_t Cp = 0; Cp <= 0x10FFFF; Cp += Cp < 0x800 ? 1 : 61) {
        if (Cp >= 0xD800 && Cp < 0xE000)
            continue;
        std::string S;
        AppendUtf8(S, Cp);
        size_t At = 0;
        uint32_t Back = 0;
        ASSERT_TRUE(DecodeUtf8(S, At, Back) && Back == Cp && At == S.size()) << Cp;
    }
}

TEST(DosDate, RoundTripsCountsDaysFrom1899AndRefusesOutOfRange) {
    auto Dos = [](uint32_t Y, uint32_t Mo, uint32_t D, uint32_t H, uint32_t Mi, uint32_t S) {
        return ((Y - 1980) << 25) | (Mo << 21) | (D << 16) | (H << 11) | (Mi << 5) | (S / 2);
    };
    uint32_t Back = 0;
    EXPECT_TRUE(UnixToDosDateTime(DosDateTimeToUnix(Dos(2001, 7, 14, 13, 5, 42)), Back));
    EXPECT_EQ(DosDateTimeToText(Back), "2001-07-14 13:05:42");
    EXPECT_FALSE(UnixToDosDateTime(0, Back));

    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(Dos(1980, 1, 1, 0, 0, 0)), 29221.0);
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(Dos(2000, 1, 1, 12, 0, 0)), 36526.5);
    EXPECT_NEAR(DosDateTimeToDateTime(Dos(2024, 2, 29, 23, 59, 58)), 45351.0 + 86398.0 / 86400.0, 1e-9);
}
