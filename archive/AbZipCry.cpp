#include "archive/AbZipCry.h"

#include "archive/AbExcept.h"

#include <random>

TAbZDecoder::TAbZDecoder(const std::string& Password, bool OneByteCheck, uint32_t CheckValue,
                         TStream*& Stream)
    : FCheckValue(CheckValue), FOneByteCheck(OneByteCheck), FPassword(Password), FStream(Stream) {}

void TAbZDecoder::InitKeys() {
    FKey0 = 0x12345678;
    FKey1 = 0x23456789;
    FKey2 = 0x34567890;
    for (char C : FPassword)
        UpdateKeys(uint8_t(C));
}

bool TAbZDecoder::DecryptHeader() {
    const int64_t Start = FStream->Position();
    auto Fits = [this](uint32_t Check) {
        return FHeader[11] == uint8_t(Check >> 24) && (FOneByteCheck || FHeader[10] == uint8_t(Check >> 16));
    };
    bool Valid = false;
    for (unsigned Attempts = 0; !Valid && Attempts < FPasswordRetries; ++Attempts) {
        InitKeys();
        FStream->Seek(Start, soFromBeginning);
        // Entry data shorter than the header is a damaged archive, not a stream fault.
        if (FStream->Read(FHeader, sizeof FHeader) != int64_t(sizeof FHeader))
            throw EAbReadError();
        DecryptBuffer(FHeader, sizeof FHeader);
        Valid = Fits(FCheckValue) || (FTimeCheck && Fits(*FTimeCheck));
        if (!Valid)
            DoNeedPassword(FPassword);
    }
    if (!Valid)
        throw EAbZipInvalidPassword();
    return true;
}

void TAbZDecoder::DecryptBuffer(void* Buffer, size_t Count) {
    auto* P = static_cast<uint8_t*>(Buffer);
    for (size_t I = 0; I < Count; ++I) {
        P[I] ^= KeyByte();
        UpdateKeys(P[I]);
    }
}

void TAbZDecoder::EncryptBuffer(void* Buffer, size_t Count) {
    auto* P = static_cast<uint8_t*>(Buffer);
    for (size_t I = 0; I < Count; ++I) {
        uint8_t K = KeyByte();
        UpdateKeys(P[I]);
        P[I] ^= K;
    }
}

void TAbZDecoder::EncryptHeader() {
    std::random_device Random;
    InitKeys();
    for (int I = 0; I < 10; ++I) {
        auto R = uint8_t(Random() & 0xFF);
        uint8_t K = KeyByte();
        UpdateKeys(R);
        FHeader[I] = R ^ K;
    }
    InitKeys();
    FHeader[10] = uint8_t(FCheckValue >> 16);
    FHeader[11] = uint8_t(FCheckValue >> 24);
    EncryptBuffer(FHeader, sizeof FHeader);
    FStream->WriteBuffer(FHeader, sizeof FHeader);
}

void TAbZDecoder::DoNeedPassword(std::string& NewPassword) {
    if (!OnNeedPassword)
        throw EAbZipInvalidPassword();
    OnNeedPassword(this, NewPassword);
}
