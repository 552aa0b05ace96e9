// Traditional zip encryption: wrong passwords, the password handler and its retries.

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
    EXPECT_EQ(ErrorOf<EAbZipInvalidPassword>([&] { TDecrypting(E, "", PlainCrc).Decrypt(); }),
              "Cannot extract file - invalid password");
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
