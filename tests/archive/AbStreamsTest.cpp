// The paged memory stream and the buffered stream against a plain buffer under random use; swap file, errors.

#include "archive/AbBufStm.h"
#include "archive/AbExcept.h"
#include "archive/AbVMStrm.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace testutil;

TEST(VirtualMemoryStream, AgreesWithAPlainBufferAndItsSwapFileGoesWithIt) {
    TScratchDir Tmp;
    TEnvSetting At("TMPDIR", Tmp.Path());
    {
        TAbVirtualMemoryStream S;
        S.SetMemorySize(3 * 4096);
        std::string Model;
        std::mt19937 Gen(5);
        for (int Op = 0; Op < 3000; ++Op) {
            // Positions before the start read and write nothing.
            const int64_t Pos = int64_t(Gen() % 40000) - 100, Len = Gen() % 9000;
            if (Op % 8 == 0) {
                S.SetSize(std::max<int64_t>(Pos, 0));
                Model.resize(size_t(std::max<int64_t>(Pos, 0)));
            } else if (Op % 2 && Pos >= 0) {
                const std::string Data = RandomBytes(size_t(Len), unsigned(Op));
                S.Seek(Pos, soFromBeginning);
                ASSERT_EQ(S.Write(Data.data(), Len), Len);
                Model.resize(std::max(Model.size(), size_t(Pos + Len)));
                Model.replace(size_t(Pos), size_t(Len), Data);
            } else {
                std::string Got(size_t(Len), '\0');
                S.Seek(Pos, soFromBeginning);
                const int64_t Want = Pos < 0 ? 0 : std::clamp<int64_t>(int64_t(Model.size()) - Pos, 0, Len);
                Got.resize(size_t(S.Read(Got.data(), Len)));
                ASSERT_TRUE(Got == Model.substr(std::min(Model.size(), size_t(std::max<int64_t>(Pos, 0))),
                                                size_t(Want)))
                    << Op;
            }
            ASSERT_TRUE(S.Size() == int64_t(Model.size()) && S.PageCount() <= 3u) << Op;
        }
        EXPECT_FALSE(std::filesystem::is_empty(Tmp.Path()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(Tmp.Path()));

    EXPECT_THROW(TAbVirtualMemoryStream().Seek(0, 3), EAbVMSInvalidOrigin);
}

TEST(BufferedStream, AgreesWithAPlainBufferAndReportsWriteErrors) {
    TScratchDir Dir;
    std::string Model = RandomBytes(5000, 6);
    WriteFile(Dir / "f", Model);
    TFileStream F(Dir / "f", fmOpenReadWrite);
    F.SetPosition(5);
    int64_t Pos = 5;
    {
        TAbBufferedStream B(F, 64);
        std::mt19937 Gen(9);
        for (int Op = 0; Op < 5000; ++Op) {
            int64_t Len = Gen() % 200;
            if (Op % 3 == 0) {
                Pos = Gen() % (Model.size() + 1);
                B.Seek(Pos);
            } else if (Op % 3 == 1) {
                const std::string Data = RandomBytes(size_t(Len), unsigned(Op));
                B.WriteBuffer(Data.data(), Len);
                Model.resize(std::max(Model.size(), size_t(Pos + Len)));
                Model.replace(size_t(Pos), size_t(Len), Data);
                Pos += Len;
            } else {
                Len = std::min<int64_t>(Len, int64_t(Model.size()) - Pos);
                std::string Got(size_t(Len), '\0');
                B.ReadBuffer(Got.data(), Len);
                ASSERT_TRUE(Got == Model.substr(size_t(Pos), size_t(Len))) << Op;
                Pos += Len;
            }
            ASSERT_EQ(B.Position(), Pos) << Op;
        }
        B.Flush();
    }
    EXPECT_EQ(F.Position(), Pos); // the file is left where the buffered stream was
    EXPECT_TRUE(ReadFile(Dir / "f") == Model);
    TFileStream ReadOnly(Dir / "f", fmOpenRead);
    TAbBufferedStream B(ReadOnly, 64);
    B.Seek(int64_t(Model.size()) - 5);
    char Got[10];
    EXPECT_THROW(B.ReadBuffer(Got, 10), EReadError);
    B.WriteBuffer("data", 4);
    EXPECT_THROW(B.Flush(), EWriteError);
}
