// Traditional zip encryption: wrong passwords, the password handler and its retries.

#include "archive/AbZipCry.h"
#include "archive/AbExcept.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace testutil;

namespace {

const std::string Plain = "The quick brown fox jumps over the lazy dog";
const uint32_t PlainCrc = Crc32(Plain);

// A decoder over Encrypted; Decrypt() checks the header and returns the rest decrypted.
struct TDecrypting {
    TMemoryStream Data;
    TStream* Stream = &Data;
    TAbZDecoder D;
    TDecrypting(const std::string& Encrypted, const std::string& Password)
        : D(Password, true, PlainCrc, Stream) {
        Data.WriteBuffer(Encrypted.data(), int64_t(Encrypted.size())), Data.SetPosition(0);
    }
    std::string Decrypt() {
        D.DecryptHeader();
        std::string Out(size_t(Stream->Size() - Stream->Position()), '\0');
        Stream->ReadBuffer(Out.data(), int64_t(Out.size()));
        D.DecryptBuffer(Out.data(), Out.size());
        return Out;
    }
};

// Header and data of Plain. One byte decides the check, so a wrong password passes one header in 256: headers
// are drawn until none of the Wrong ones does.
std::string Encrypt(const std::string& Password, const std::vector<std::string>& Wrong = {}) {
    for (int Try = 0; Try < 1000; ++Try) {
        TDecrypting M("", Password);
        M.D.EncryptHeader();
        std::string Data = Plain;
        M.D.EncryptBuffer(Data.data(), Data.size());
        M.Data.WriteBuffer(Data.data(), int64_t(Data.size()));
        const std::string E(reinterpret_cast<const char*>(M.Data.Memory()), size_t(M.Data.Size()));
        if (std::all_of(Wrong.begin(), Wrong.end(), [&](const std::string& W) {
                return !ErrorOf<EAbZipInvalidPassword>([&] { TDecrypting(E, W).D.DecryptHeader(); }).empty();
            }))
            return E;
    }
    throw std::runtime_error("every header lets a wrong password through");
}

} // namespace

TEST(ZipCrypt, PasswordsHandlerAndRetries) {
    TDecrypting Right(Encrypt("pw"), "pw");
    Right.D.OnNeedPassword = [](void*, std::string&) { ADD_FAILURE() << "asked"; };
    EXPECT_EQ(Right.Decrypt(), Plain);

    const std::string E = Encrypt("pw", {"", "bad"});
    EXPECT_EQ(ErrorOf<EAbZipInvalidPassword>([&] { TDecrypting(E, "").Decrypt(); }),
              "Cannot extract file - invalid password");
    TDecrypting Asking(E, "");
    Asking.D.OnNeedPassword = [&](void* Sender, std::string& NewPassword) {
        EXPECT_EQ(Sender, &Asking.D);
        NewPassword = "pw";
    };
    EXPECT_EQ(Asking.Decrypt() + Asking.D.Password(), Plain + "pw");
    // The answer after the last failure is never tried.
    for (uint8_t Retries : {1, 3}) {
        TDecrypting Wrong(E, "bad");
        Wrong.D.SetPasswordRetries(Retries);
        int Asked = 0;
        Wrong.D.OnNeedPassword = [&](void*, std::string& NewPassword) {
            NewPassword = ++Asked == Retries ? "pw" : "bad";
        };
        EXPECT_THROW(Wrong.Decrypt(), EAbZipInvalidPassword);
        EXPECT_EQ(Asked, Retries);
    }
    // Entry data shorter than the header is a damaged archive.
    EXPECT_THROW(TDecrypting(E.substr(0, 5), "pw").Decrypt(), EAbReadError);
    // The decoder reads whatever stream the archive has at the time (a disk change replaces it).
    TDecrypting Replaced("", "pw"), Real(Encrypt("pw"), "pw");
    Replaced.Stream = &Real.Data;
    EXPECT_EQ(Replaced.Decrypt(), Plain);
}
