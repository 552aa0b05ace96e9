#include "archive/AbZipCry.h"
#include "archive/AbExcept.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <vector>

using testutil::TScratchDir;

namespace {

uint32_t Le(const std::string& S, size_t At, int Bytes) {
    uint32_t V = 0;
    for (int I = Bytes - 1; I >= 0; --I)
        V = V << 8 | uint8_t(S[At + size_t(I)]);
    return V;
}

// The first local header of an archive.
struct TFirstEntry {
    uint16_t Flags, Method, Time;
    uint32_t Crc, CompressedSize;
    int64_t DataOffset;
};

TFirstEntry ReadFirstEntry(const std::string& Zip) {
    EXPECT_EQ(Le(Zip, 0, 4), 0x04034B50u);
    return {uint16_t(Le(Zip, 6, 2)), uint16_t(Le(Zip, 8, 2)), uint16_t(Le(Zip, 10, 2)),
            Le(Zip, 14, 4),          Le(Zip, 18, 4),          int64_t(30 + Le(Zip, 26, 2) + Le(Zip, 28, 2))};
}

// Encryption header and data for Plain, as a stream a decoder reads.
std::string Encrypt(const std::string& Password, uint32_t Crc, std::string Plain) {
    TMemoryStream M;
    TStream* S = &M;
    TAbZDecoder Encoder(Password, true, Crc, S);
    Encoder.EncryptHeader();
    Encoder.EncryptBuffer(Plain.data(), Plain.size());
    M.WriteBuffer(Plain.data(), int64_t(Plain.size()));
    return std::string(reinterpret_cast<const char*>(M.Memory()), size_t(M.Size()));
}

bool HeaderFits(const std::string& Encrypted, const std::string& Password, uint32_t Crc) {
    TMemoryStream M;
    M.WriteBuffer(Encrypted.data(), int64_t(Encrypted.size()));
    M.SetPosition(0);
    TStream* S = &M;
    TAbZDecoder D(Password, true, Crc, S);
    try {
        return D.DecryptHeader();
    } catch (const EAbZipInvalidPassword&) {
        return false;
    }
}

// One byte decides the check, so a wrong password passes one header in 256: draw headers until none of
// the wrong ones does.
std::string EncryptAgainst(const std::string& Password, uint32_t Crc, const std::string& Plain,
                           const std::vector<std::string>& Wrong) {
    for (;;) {
        std::string E = Encrypt(Password, Crc, Plain);
        bool Clean = true;
        for (auto& W : Wrong)
            Clean = Clean && !HeaderFits(E, W, Crc);
        if (Clean)
            return E;
    }
}

class ZipCrypt : public ::testing::Test {
protected:
    void Load(const std::string& Bytes) {
        FData.Clear();
        FData.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
        FData.SetPosition(0);
    }
    // Decrypts what follows the header.
    std::string Rest(TAbZDecoder& D) {
        std::string Out(size_t(FData.Size() - FData.Position()), '\0');
        FData.ReadBuffer(Out.data(), int64_t(Out.size()));
        D.DecryptBuffer(Out.data(), Out.size());
        return Out;
    }

    const std::string Plain = "The quick brown fox jumps over the lazy dog";
    const uint32_t Crc = testutil::Crc32(Plain);
    TMemoryStream FData;
    TStream* FStream = &FData;
};

} // namespace

TEST_F(ZipCrypt, ArchivePasswordFitsWithoutAsking) {
    Load(Encrypt("pw", Crc, Plain));
    TAbZDecoder D("pw", true, Crc, FStream);
    int Asked = 0;
    D.OnNeedPassword = [&](void*, std::string&) { ++Asked; };
    EXPECT_TRUE(D.DecryptHeader());
    EXPECT_EQ(FData.Position(), 12);
    EXPECT_EQ(Rest(D), Plain);
    EXPECT_EQ(Asked, 0);
}

TEST_F(ZipCrypt, WrongPasswordWithoutHandlerFailsAtOnce) {
    Load(EncryptAgainst("pw", Crc, Plain, {""}));
    TAbZDecoder D("", true, Crc, FStream);
    try {
        D.DecryptHeader();
        FAIL() << "an empty password must not fit";
    } catch (const EAbZipInvalidPassword& E) {
        EXPECT_STREQ(E.what(), "Cannot extract file - invalid password");
        EXPECT_EQ(E.ErrorCode, 4);
    }
}

TEST_F(ZipCrypt, HeaderCutShortIsTheLibrarysReadError) {
    Load(Encrypt("pw", Crc, Plain).substr(0, 5));
    TAbZDecoder D("pw", true, Crc, FStream);
    EXPECT_THROW(D.DecryptHeader(), EAbReadError);
}

TEST_F(ZipCrypt, HandlerAnswersAndRetriesAreCounted) {
    Load(EncryptAgainst("pw", Crc, Plain, {"", "bad"}));
    {
        TAbZDecoder D("", true, Crc, FStream);
        int Asked = 0;
        D.OnNeedPassword = [&](void* Sender, std::string& NewPassword) {
            EXPECT_EQ(Sender, &D);
            ++Asked;
            NewPassword = "pw";
        };
        EXPECT_TRUE(D.DecryptHeader());
        EXPECT_EQ(Asked, 1);
        EXPECT_EQ(D.Password(), "pw");
        EXPECT_EQ(Rest(D), Plain);
    }
    for (uint8_t Retries : {1, 3}) {
        FData.SetPosition(0);
        TAbZDecoder D("bad", true, Crc, FStream);
        D.SetPasswordRetries(Retries);
        int Asked = 0;
        // The answer after the last failure is never tried.
        D.OnNeedPassword = [&](void*, std::string& NewPassword) {
            NewPassword = ++Asked == Retries ? "pw" : "bad";
        };
        EXPECT_THROW(D.DecryptHeader(), EAbZipInvalidPassword);
        EXPECT_EQ(Asked, Retries);
    }
}

TEST_F(ZipCrypt, OneByteCheckLooksAtTheHighByteOnly) {
    const uint32_t Written = 0xAB120000, Claimed = 0xAB340000;
    std::string Sample = Encrypt("pw", Written, Plain);
    Load(Sample);
    TAbZDecoder OneByte("pw", true, Claimed, FStream);
    EXPECT_TRUE(OneByte.DecryptHeader());
    FData.SetPosition(0);
    TAbZDecoder TwoBytes("pw", false, Claimed, FStream);
    EXPECT_THROW(TwoBytes.DecryptHeader(), EAbZipInvalidPassword);
    FData.SetPosition(0);
    TAbZDecoder Exact("pw", false, Written, FStream);
    EXPECT_TRUE(Exact.DecryptHeader());
}

TEST_F(ZipCrypt, ReadsTheStreamTheArchiveHasNow) {
    TMemoryStream Empty;
    FStream = &Empty;
    TAbZDecoder D("pw", true, Crc, FStream);
    Load(Encrypt("pw", Crc, Plain));
    FStream = &FData; // a disk change replaced the archive's stream
    EXPECT_TRUE(D.DecryptHeader());
    EXPECT_EQ(Rest(D), Plain);
}

TEST(ZipCryptInterop, DecryptsEntriesMadeByOtherPrograms) {
    // zip sets flag bit 3 and checks against the time; 7zz checks against the CRC.
    for (std::string Make : {"zip -q -0 -e -P secret s.zip data.bin",
                             "7zz a -tzip -psecret -mem=ZipCrypto -mx=0 s.zip data.bin >/dev/null"}) {
        SCOPED_TRACE(Make);
        TScratchDir Dir;
        std::string Original = testutil::RandomBytes(3000, 8);
        testutil::WriteFile(Dir / "data.bin", Original);
        ASSERT_EQ(testutil::Run("cd " + testutil::Quote(Dir.Path()) + " && " + Make), 0);
        TFirstEntry E = ReadFirstEntry(testutil::ReadFile(Dir / "s.zip"));
        ASSERT_EQ(E.Flags & 1, 1);
        ASSERT_EQ(E.Method, 0);

        TFileStream F(Dir / "s.zip", fmOpenRead);
        TStream* S = &F;
        auto Decrypt = [&](TAbZDecoder& D) {
            F.SetPosition(E.DataOffset);
            D.DecryptHeader();
            EXPECT_EQ(F.Position(), E.DataOffset + 12);
            std::string Data(E.CompressedSize - 12, '\0');
            F.ReadBuffer(Data.data(), int64_t(Data.size()));
            D.DecryptBuffer(Data.data(), Data.size());
            return Data;
        };
        TAbZDecoder D("secret", true, E.Crc, S);
        if (E.Flags & 8)
            D.SetDescriptorCheck(E.Time);
        std::string Data = Decrypt(D);
        EXPECT_EQ(testutil::Crc32(Data), E.Crc);
        EXPECT_TRUE(Data == Original);

        if ((E.Flags & 8) && uint8_t(E.Crc >> 24) != uint8_t(E.Time >> 8)) {
            TAbZDecoder CrcOnly("secret", true, E.Crc, S);
            EXPECT_THROW(Decrypt(CrcOnly), EAbZipInvalidPassword);
        }
    }
}

namespace {

void PutLe(std::string& Out, uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
        Out += char((V >> (8 * I)) & 0xFF);
}

// A one-entry archive holding Plain stored and encrypted by our encoder.
std::string StoredEncryptedZip(const std::string& Name, const std::string& Plain,
                               const std::string& Password) {
    const uint32_t Crc = testutil::Crc32(Plain);
    const std::string Data = Encrypt(Password, Crc, Plain);
    auto Common = [&](std::string& Out) {
        PutLe(Out, 20, 2); // version needed
        PutLe(Out, 1, 2);  // encrypted
        PutLe(Out, 0, 2);  // stored
        PutLe(Out, 0x6000, 2);
        PutLe(Out, 0x5821, 2);
        PutLe(Out, Crc, 4);
        PutLe(Out, uint32_t(Data.size()), 4);
        PutLe(Out, uint32_t(Plain.size()), 4);
        PutLe(Out, uint32_t(Name.size()), 2);
        PutLe(Out, 0, 2);
    };
    std::string Zip;
    PutLe(Zip, 0x04034B50, 4);
    Common(Zip);
    Zip += Name + Data;
    std::string Central;
    PutLe(Central, 0x02014B50, 4);
    PutLe(Central, 20, 2);
    Common(Central);
    Central.append(14, '\0'); // comment, disk, attributes, offset 0
    Central += Name;
    std::string End;
    PutLe(End, 0x06054B50, 4);
    PutLe(End, 0, 4);
    PutLe(End, 1, 2);
    PutLe(End, 1, 2);
    PutLe(End, uint32_t(Central.size()), 4);
    PutLe(End, uint32_t(Zip.size()), 4);
    PutLe(End, 0, 2);
    return Zip + Central + End;
}

} // namespace

TEST(ZipCryptInterop, UnzipDecryptsWhatWeEncrypt) {
    TScratchDir Dir;
    std::string Plain = testutil::RandomBytes(5000, 9);
    testutil::WriteFile(Dir / "ours.zip", StoredEncryptedZip("data.bin", Plain, "open sesame"));
    std::string Out;
    ASSERT_EQ(
        testutil::Run("unzip -p -P 'open sesame' " + testutil::Quote(Dir / "ours.zip") + " data.bin", &Out),
        0);
    EXPECT_TRUE(Out == Plain);
}
