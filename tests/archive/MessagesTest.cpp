// The message tables: missing ids, refusals of damaged tables, copies into a caller's buffer.

#include "archive/AbExcept.h"
#include "archive/AbSrMgr.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

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
