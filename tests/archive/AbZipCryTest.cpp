// Traditional zip encryption: entries encrypted by zip and 7zz, what unzip makes of ours, wrong passwords,
// the password handler and its retries.

#include "archive/AbZipCry.h"
#include "archive/AbExcept.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace testutil;

namespace {

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

// A decoder over Encrypted; Decrypt() checks the header and returns the rest decrypted.
struct TDecrypting {
    TMemoryStream Data;
    TStream* Stream = &Data;
    TAbZDecoder D;
    TDecrypting(const std::string& Encrypted, const std::string& Password, uint32_t Crc)
        : D(Password, true, Crc, Stream) {
        Data.WriteBuffer(Encrypted.data(), int64_t(Encrypted.size()));
        Data.SetPosition(0);
    }
    std::string Decrypt() {
        D.DecryptHeader();
        std::string Out(size_t(Stream->Size() - Stream->Position()), '\0');
        Stream->ReadBuffer(Out.data(), int64_t(Out.size()));
        D.DecryptBuffer(Out.data(), Out.size());
        return Out;
    }
};

// One byte decides the check, so a wrong password passes one header in 256: draw headers until none of the
// wrong ones does.
std::string EncryptAgainst(const std::string& Password, uint32_t Crc, const std::string& Plain,
                           const std::vector<std::string>& Wrong) {
    for (int Try = 0;; ++Try) {
        if (Try == 1000)
            throw std::runtime_error("every header lets a wrong password through");
        const std::string E = Encrypt(Password, Crc, Plain);
        bool Clean = true;
        for (const std::string& W : Wrong)
            try {
                TDecrypting(E, W, Crc).D.DecryptHeader();
                Clean = false;
            } catch (const EAbZipInvalidPassword&) {
            }
        if (Clean)
            return E;
    }
}

const std::string Plain = "The quick brown fox jumps over the lazy dog";
const uint32_t PlainCrc = Crc32(Plain);

} // namespace

TEST(ZipCrypt, PasswordsHandlerAndRetries) {
    TDecrypting Right(Encrypt("pw", PlainCrc, Plain), "pw", PlainCrc);
    Right.D.OnNeedPassword = [](void*, std::string&) { ADD_FAILURE() << "asked"; };
    EXPECT_EQ(Right.Decrypt(), Plain);

    const std::string E = EncryptAgainst("pw", PlainCrc, Plain, {"", "bad"});
    try {
        TDecrypting(E, "", PlainCrc).Decrypt();
        FAIL() << "an empty password must not fit";
    } catch (const EAbZipInvalidPassword& X) {
        EXPECT_STREQ(X.what(), "Cannot extract file - invalid password");
    }
    TDecrypting Asking(E, "", PlainCrc);
    Asking.D.OnNeedPassword = [&](void* Sender, std::string& NewPassword) {
        EXPECT_EQ(Sender, &Asking.D);
        NewPassword = "pw";
    };
    EXPECT_EQ(Asking.Decrypt(), Plain);
    EXPECT_EQ(Asking.D.Password(), "pw");
    // The answer after the last failure is never tried.
    for (uint8_t Retries : {1, 3}) {
        TDecrypting Wrong(E, "bad", PlainCrc);
        Wrong.D.SetPasswordRetries(Retries);
        int Asked = 0;
        Wrong.D.OnNeedPassword = [&](void*, std::string& NewPassword) {
            NewPassword = ++Asked == Retries ? "pw" : "bad";
        };
        EXPECT_THROW(Wrong.Decrypt(), EAbZipInvalidPassword);
        EXPECT_EQ(Asked, Retries);
    }
    // Entry data shorter than the header is a damaged archive.
    EXPECT_THROW(TDecrypting(E.substr(0, 5), "pw", PlainCrc).Decrypt(), EAbReadError);
    // The decoder reads whatever stream the archive has at the time (a disk change replaces it).
    TDecrypting Replaced("", "pw", PlainCrc);
    TDecrypting Real(Encrypt("pw", PlainCrc, Plain), "pw", PlainCrc);
    Replaced.Stream = &Real.Data;
    EXPECT_EQ(Replaced.Decrypt(), Plain);
}

TEST(ZipCrypt, EntriesOfOtherProgramsAndUnzipOnOurs) {
    // zip sets flag bit 3 and checks against the time; 7zz checks against the CRC.
    for (std::string Make : {"zip -q -0 -e -P secret s.zip data.bin",
                             "7zz a -tzip -psecret -mem=ZipCrypto -mx=0 s.zip data.bin >/dev/null"}) {
        TScratchDir Dir;
        const std::string Original = RandomBytes(3000, 8);
        WriteFile(Dir / "data.bin", Original);
        ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && " + Make), 0);
        const std::string Zip = ReadFile(Dir / "s.zip");
        const unsigned Flags = unsigned(GetLe(Zip, 6, 2)), Time = unsigned(GetLe(Zip, 10, 2));
        const uint32_t Crc = uint32_t(GetLe(Zip, 14, 4));
        ASSERT_EQ(Flags & 1, 1u);
        const std::string Data = Zip.substr(30 + GetLe(Zip, 26, 2) + GetLe(Zip, 28, 2), GetLe(Zip, 18, 4));
        TDecrypting D(Data, "secret", Crc);
        if (Flags & 8)
            D.D.SetDescriptorCheck(uint16_t(Time));
        EXPECT_TRUE(D.Decrypt() == Original) << Make;
        if ((Flags & 8) && uint8_t(Crc >> 24) != uint8_t(Time >> 8)) {
            EXPECT_THROW(TDecrypting(Data, "secret", Crc).Decrypt(), EAbZipInvalidPassword) << Make;
        }
    }

    // A one-entry archive holding data stored and encrypted by our encoder.
    const std::string Data = RandomBytes(5000, 9), Name = "data.bin";
    const uint32_t Crc = Crc32(Data);
    const std::string Encrypted = Encrypt("open sesame", Crc, Data);
    const std::string Common = Le(20, 2) + Le(1, 2) + Le(0, 2) + Le(0x6000, 2) + Le(0x5821, 2) + Le(Crc, 4) +
                               Le(Encrypted.size(), 4) + Le(Data.size(), 4) + Le(Name.size(), 2) + Le(0, 2);
    const std::string Local = Le(0x04034B50, 4) + Common + Name + Encrypted;
    const std::string Central = Le(0x02014B50, 4) + Le(20, 2) + Common + std::string(14, '\0') + Name;
    TScratchDir Dir;
    WriteFile(Dir / "ours.zip", Local + Central + Le(0x06054B50, 4) + Le(0, 4) + Le(1, 2) + Le(1, 2) +
                                    Le(Central.size(), 4) + Le(Local.size(), 4) + Le(0, 2));
    std::string Out;
    ASSERT_EQ(testutil::Run("unzip -p -P 'open sesame' " + Quote(Dir / "ours.zip") + " data.bin", &Out), 0);
    EXPECT_TRUE(Out == Data);
}
