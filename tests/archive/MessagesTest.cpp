// The message tables: the built-in one, refusals of damaged tables, copies into a caller's buffer.

#include "archive/AbExcept.h"
#include "archive/AbSrMgr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

uint32_t Get32(const uint8_t* P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

std::vector<uint8_t> Table(std::initializer_list<std::pair<uint32_t, std::u16string>> Entries) {
    std::vector<uint8_t> T = {'S', 'T', 'R', '0'};
    auto Put32 = [&T](uint32_t V) {
        for (int K = 0; K < 4; ++K)
            T.push_back(uint8_t(V >> (8 * K)));
    };
    Put32(uint32_t(Entries.size()));
    uint32_t Offset = 8 + 12 * uint32_t(Entries.size());
    for (auto& [Id, Text] : Entries) {
        Put32(Id);
        Put32(Offset);
        Put32(uint32_t(Text.size()));
        Offset += 2 * uint32_t(Text.size());
    }
    for (auto& E : Entries)
        for (char16_t U : E.second) {
            T.push_back(uint8_t(U & 0xFF));
            T.push_back(uint8_t(U >> 8));
        }
    return T;
}

} // namespace

// The built-in table as the reader walks it: sorted ids, texts packed one UTF-16 unit per ASCII byte.
TEST(MessageTable, GeneratedTableReadsBackPacked) {
    AbStrings(); // registers the built-in tables
    TRawResource Res;
    ASSERT_TRUE(FindRawResource("AB_STRINGS_ENGLISH", Res));
    ASSERT_EQ(std::memcmp(Res.Data, "STR0", 4), 0);
    const uint32_t N = Get32(Res.Data + 4);
    uint32_t NextOffset = 8 + 12 * N, LastId = 0;
    for (uint32_t I = 0; I < N; ++I) {
        const uint8_t* E = Res.Data + 8 + 12 * I;
        EXPECT_GT(Get32(E), LastId);
        LastId = Get32(E);
        EXPECT_EQ(Get32(E + 4), NextOffset) << "texts not packed at " << I;
        NextOffset += 2 * Get32(E + 8);
        EXPECT_EQ(AbStrRes(int(LastId)).size(), Get32(E + 8));
    }
    EXPECT_EQ(NextOffset, Res.Size);
    EXPECT_EQ(AbStrRes(116), "Compression Ratio: %2.0f%%");
}

// Missing ids and tables, a bad magic, a count that promises more index entries than the table holds.
TEST(MessageTable, MissingIdsAndBadTables) {
    EXPECT_EQ(AbStrRes(99), "");
    auto Refusal = [](const std::function<void()>& F) {
        try {
            F();
        } catch (const ETpsStringResourceError& E) {
            return std::string(E.what());
        }
        return std::string("accepted");
    };
    TAbStringResource R("AB_STRINGS_ENGLISH");
    R.RaiseOnMissing = true;
    EXPECT_EQ(Refusal([&] { R.GetString(99); }), "String not found: 99");
    EXPECT_EQ(Refusal([] { TAbStringResource("NO_SUCH_TABLE"); }),
              "String resource not found: NO_SUCH_TABLE");
    static std::vector<uint8_t> Bad[2] = {Table({{1, u"x"}}), Table({{1, u"x"}})};
    Bad[0][3] = 'X';
    Bad[1][4] = 200;
    for (int I = 0; I < 2; ++I) {
        const std::string Name = "TEST_BAD_" + std::to_string(I);
        RegisterRawResource(Name, Bad[I].data(), Bad[I].size());
        EXPECT_EQ(Refusal([&] { TAbStringResource T(Name); }), "Invalid string resource");
    }
}

TEST(MessageTable, GetStringToBufferNeverWritesPastMaxLen) {
    static const std::vector<uint8_t> T = Table({{1, u"caf\u00e9 au lait"}, {2, u""}});
    RegisterRawResource("TEST_BUFFER", T.data(), T.size());
    TAbStringResource R("TEST_BUFFER");
    for (size_t MaxLen = 0; MaxLen <= 20; ++MaxLen) {
        std::vector<char> Buf(MaxLen + 8, '#');
        R.GetStringToBuffer(1, Buf.data(), MaxLen);
        for (size_t I = MaxLen; I < Buf.size(); ++I)
            ASSERT_EQ(Buf[I], '#') << "wrote past MaxLen " << MaxLen;
        if (MaxLen == 0)
            continue;
        std::string Got(Buf.data());
        EXPECT_LT(Got.size(), MaxLen);
        EXPECT_EQ(std::string("caf\xC3\xA9 au lait").compare(0, Got.size(), Got), 0);
    }
    char Buf[5];
    EXPECT_STREQ(R.GetStringToBuffer(1, Buf, sizeof Buf), "caf"); // the two-byte letter does not fit
}
