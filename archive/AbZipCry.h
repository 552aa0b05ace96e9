#pragma once
// Traditional zip encryption of one entry: the password check against the 12-byte encryption header,
// and the key stream that decrypts (or, when writing, encrypts) the entry's data.

#include "archive/AbUtils.h"
#include "platform/Classes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Asks the host for another password; leaving NewPassword unchanged tries the same one again.
using TAbNeedPasswordEvent = std::function<void(void* Sender, std::string& NewPassword)>;

class TAbZDecoder {
public:
    // Stream is the archive's stream variable, read at each use: it changes when disks are switched.
    // CheckValue is the entry's CRC-32; with OneByteCheck only its high byte is compared.
    TAbZDecoder(const std::string& Password, bool OneByteCheck, uint32_t CheckValue, TStream*& Stream);
    virtual ~TAbZDecoder() = default;
    TAbZDecoder(const TAbZDecoder&) = delete;
    TAbZDecoder& operator=(const TAbZDecoder&) = delete;

    // With the stream at the entry's data: checks the password, asking OnNeedPassword again after each
    // failure, up to PasswordRetries attempts. True with the stream after the header; otherwise raises
    // EAbZipInvalidPassword.
    bool DecryptHeader();
    void DecryptBuffer(void* Buffer, size_t Count);
    void EncryptBuffer(void* Buffer, size_t Count);
    // Entries written with a data descriptor (flag bit 3) may carry the high byte of their DOS time as the
    // check instead of the CRC's, which their writer did not know yet; both are then accepted.
    void SetDescriptorCheck(uint16_t LastModFileTime) { FTimeCheck = uint32_t(LastModFileTime) << 16; }
    // Writes a fresh encryption header for the password and check value at the stream's position.
    void EncryptHeader();

    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& Value) { FPassword = Value; }
    uint8_t PasswordRetries() const { return FPasswordRetries; }
    void SetPasswordRetries(uint8_t Value) { FPasswordRetries = Value; }

    TAbNeedPasswordEvent OnNeedPassword;

protected:
    // Without a handler: EAbZipInvalidPassword.
    virtual void DoNeedPassword(std::string& NewPassword);

private:
    void InitKeys();
    uint8_t KeyByte() const {
        uint32_t T = (FKey2 & 0xFFFF) | 2;
        return uint8_t((T * (T ^ 1)) >> 8);
    }
    void UpdateKeys(uint8_t Plain) {
        FKey0 = UpdateCrc32Byte(Plain, FKey0);
        FKey1 = (FKey1 + (FKey0 & 0xFF)) * 134775813u + 1;
        FKey2 = UpdateCrc32Byte(uint8_t(FKey1 >> 24), FKey2);
    }

    uint32_t FKey0 = 0, FKey1 = 0, FKey2 = 0;
    uint8_t FHeader[12] = {};
    uint32_t FCheckValue;
    std::optional<uint32_t> FTimeCheck;
    bool FOneByteCheck;
    std::string FPassword;
    uint8_t FPasswordRetries = 3;
    TStream*& FStream;
};
