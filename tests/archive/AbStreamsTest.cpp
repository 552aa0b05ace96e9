#include "archive/AbBufStm.h"
#include "archive/AbConst.h"
#include "archive/AbExcept.h"
#include "archive/AbVMStrm.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

using testutil::TScratchDir;

namespace {

// Points the temporary folder somewhere else while it lives.
class TTempFolderAt {
public:
    explicit TTempFolderAt(const std::string& Folder) {
        if (const char* T = std::getenv("TMPDIR"))
            FOld = T;
        setenv("TMPDIR", Folder.c_str(), 1);
    }
    ~TTempFolderAt() {
        if (FOld)
            setenv("TMPDIR", FOld->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> FOld;
};

std::vector<std::string> SwapFilesIn(const std::string& Folder) {
    std::vector<std::string> Names;
    for (auto& E : std::filesystem::directory_iterator(Folder))
        if (E.path().filename().string().rfind("VMS", 0) == 0)
            Names.push_back(E.path());
    return Names;
}

std::string ReadAll(TStream& S) {
    std::string Out(size_t(S.Size()), '\0');
    S.SetPosition(0);
    S.ReadBuffer(Out.data(), int64_t(Out.size()));
    return Out;
}

} // namespace

// Reading back across pages is left to the random comparison below.
TEST(VirtualMemoryStream, ReadsAtTheEdgesAndShrinkingToZeroLeavesNoPage) {
    TAbVirtualMemoryStream S;
    EXPECT_EQ(S.MemorySize(), 102400);
    std::string Data(10000, 'a');
    S.WriteBuffer(Data.data(), 10000);
    EXPECT_EQ(S.PageCount(), 3u);
    char Got[100];
    EXPECT_EQ(S.Read(Got, 1), 0); // at the end
    S.Seek(5, soFromEnd);
    EXPECT_EQ(S.Read(Got, 1), 0); // past it
    S.Seek(-5, soFromEnd);
    EXPECT_EQ(S.Read(Got, 100), 5);
    S.Seek(-20000, soFromEnd);
    EXPECT_EQ(S.Read(Got, 1), 0); // before the start

    S.Seek(0, soFromEnd);
    S.SetSize(0);
    EXPECT_EQ(S.PageCount(), 0u);
    EXPECT_EQ(S.Position(), 0);
    S.WriteBuffer("bc", 2);
    EXPECT_EQ(ReadAll(S), "bc");
}

TEST(VirtualMemoryStream, SwapsToATemporaryFileThatGoesWithTheStream) {
    TScratchDir Tmp;
    TTempFolderAt At(Tmp.Path());
    std::string Data = testutil::RandomBytes(5 * 4096, 2);
    {
        TAbVirtualMemoryStream S;
        S.SetMemorySize(8192);
        EXPECT_EQ(S.MemorySize(), 8192);
        S.WriteBuffer(Data.data(), int64_t(Data.size()));
        EXPECT_EQ(S.PageCount(), 2u);
        ASSERT_EQ(SwapFilesIn(Tmp.Path()).size(), 1u);
        EXPECT_EQ(ReadAll(S), Data);
    }
    EXPECT_TRUE(SwapFilesIn(Tmp.Path()).empty());
}

TEST(VirtualMemoryStream, SwapFileThatCannotBeMadeIsReported) {
    TScratchDir Tmp;
    TTempFolderAt At(Tmp / "missing");
    TAbVirtualMemoryStream S;
    S.SetMemorySize(1);
    std::string Data(2 * 4096, 'x');
    try {
        S.WriteBuffer(Data.data(), int64_t(Data.size()));
        FAIL() << "the swap-out must fail";
    } catch (const EAbVMSErrorOpenSwap& E) {
        EXPECT_EQ(E.ErrorCode, 202);
        EXPECT_NE(std::string(E.what()).find(Tmp / "missing"), std::string::npos);
    }
}

TEST(VirtualMemoryStream, InvalidOriginRaisesMessage201) {
    TAbVirtualMemoryStream S;
    try {
        S.Seek(0, 3);
        FAIL() << "origin 3 must raise";
    } catch (const EAbVMSInvalidOrigin& E) {
        EXPECT_EQ(E.ErrorCode, 201);
        EXPECT_EQ(std::string(E.what()), Format(AbStrRes(AbVMSInvalidOrigin), {3}));
    }
}

TEST(VirtualMemoryStream, AgreesWithAPlainBufferUnderRandomUse) {
    TScratchDir Tmp;
    TTempFolderAt At(Tmp.Path());
    TAbVirtualMemoryStream S;
    S.SetMemorySize(3 * 4096);
    std::string Model;
    std::mt19937 Gen(5);
    for (int Op = 0; Op < 3000; ++Op) {
        int64_t Pos = Gen() % 40000, Len = Gen() % 9000;
        switch (Gen() % 8) {
        case 0:
            S.SetSize(Pos);
            Model.resize(size_t(Pos));
            break;
        case 1:
        case 2:
        case 3: {
            std::string Data = testutil::RandomBytes(size_t(Len), unsigned(Op));
            S.Seek(Pos, soFromBeginning);
            ASSERT_EQ(S.Write(Data.data(), Len), Len);
            if (Model.size() < size_t(Pos + Len))
                Model.resize(size_t(Pos + Len));
            Model.replace(size_t(Pos), size_t(Len), Data);
            break;
        }
        default: {
            std::string Got(size_t(Len), '\0');
            S.Seek(Pos, soFromBeginning);
            int64_t N = S.Read(Got.data(), Len);
            int64_t Want = std::clamp<int64_t>(int64_t(Model.size()) - Pos, 0, Len);
            ASSERT_EQ(N, Want) << "op " << Op;
            ASSERT_EQ(Got.substr(0, size_t(N)),
                      Model.substr(size_t(std::min<int64_t>(Pos, Model.size())), size_t(N)))
                << "op " << Op;
        }
        }
        ASSERT_EQ(S.Size(), int64_t(Model.size()));
        ASSERT_LE(S.PageCount(), 3u);
    }
}

TEST(BufferedStream, OverAMemoryStreamEveryCallGoesThrough) {
    TMemoryStream M;
    {
        TAbBufferedStream B(M, 32768);
        B.WriteBuffer("hello", 5);
        EXPECT_EQ(M.Size(), 5); // not held back
        B.Seek(1);
        EXPECT_EQ(M.Position(), 1);
        char Got[3];
        B.ReadBuffer(Got, 3);
        EXPECT_EQ(std::string(Got, 3), "ell");
        EXPECT_EQ(B.Position(), 4);
    }
    EXPECT_EQ(M.Position(), 4);
}

TEST(BufferedStream, HandsTheExactPositionBackToTheFile) {
    TScratchDir Dir;
    testutil::WriteFile(Dir / "f", testutil::RandomBytes(100000, 3));
    TFileStream F(Dir / "f", fmOpenRead);
    F.SetPosition(5);
    {
        TAbBufferedStream B(F, 32768);
        char Got[10];
        B.ReadBuffer(Got, 10);
        EXPECT_EQ(B.Position(), 15);
    }
    EXPECT_EQ(F.Position(), 15);
    TAbBufferedStream B(F, 16);
    B.Seek(99995);
    char Got[10];
    EXPECT_THROW(B.ReadBuffer(Got, 10), EReadError);
}

TEST(BufferedStream, FlushReportsAWriteThatFails) {
    TScratchDir Dir;
    testutil::WriteFile(Dir / "f", "");
    TFileStream F(Dir / "f", fmOpenRead);
    TAbBufferedStream B(F, 64);
    B.WriteBuffer("data", 4);
    EXPECT_THROW(B.Flush(), EWriteError);
}

TEST(BufferedStream, AgreesWithAPlainBufferUnderRandomUse) {
    TScratchDir Dir;
    std::string Model = testutil::RandomBytes(5000, 6);
    testutil::WriteFile(Dir / "f", Model);
    {
        TFileStream F(Dir / "f", fmOpenReadWrite);
        TAbBufferedStream B(F, 64);
        std::mt19937 Gen(9);
        int64_t Pos = 0;
        for (int Op = 0; Op < 5000; ++Op) {
            int64_t Len = Gen() % 200;
            switch (Gen() % 3) {
            case 0:
                Pos = Gen() % (Model.size() + 1);
                B.Seek(Pos);
                break;
            case 1: {
                std::string Data = testutil::RandomBytes(size_t(Len), unsigned(Op));
                B.WriteBuffer(Data.data(), Len);
                if (Model.size() < size_t(Pos + Len))
                    Model.resize(size_t(Pos + Len));
                Model.replace(size_t(Pos), size_t(Len), Data);
                Pos += Len;
                break;
            }
            default: {
                Len = std::min<int64_t>(Len, int64_t(Model.size()) - Pos);
                std::string Got(size_t(Len), '\0');
                B.ReadBuffer(Got.data(), Len);
                ASSERT_TRUE(Got == Model.substr(size_t(Pos), size_t(Len))) << "op " << Op;
                Pos += Len;
            }
            }
            ASSERT_EQ(B.Position(), Pos);
        }
        B.Flush();
    }
    EXPECT_TRUE(testutil::ReadFile(Dir / "f") == Model);
}
