// CRC-32 and traditional decryption throughput: our CRC (folding with carry-less multiplication where the
// processor has it, 16 table lookups at a time otherwise) against zlib's crc32 and against one table step
// per byte, and the decryption key stream. One run, ratios printed.

#include "archive/AbUtils.h"
#include "archive/AbZipCry.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

template <class F> double SecondsFor(F&& Work) {
    auto Start = std::chrono::steady_clock::now();
    Work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

} // namespace

int main() {
    const size_t Size = 64 << 20;
    const int Rounds = 8;
    std::vector<uint8_t> Data(Size);
    std::mt19937 Gen(1);
    for (auto& B : Data)
        B = uint8_t(Gen());
    const double MiB = double(Size) * Rounds / (1 << 20);

    uint32_t Ours = 0, Bytewise = 0;
    uLong Zlib = 0;
    double TOurs = SecondsFor([&] {
        for (int R = 0; R < Rounds; ++R) {
            uint32_t C = 0xFFFFFFFF;
            UpdateCrc32(C, Data.data(), Data.size());
            Ours = ~C;
        }
    });
    double TZlib = SecondsFor([&] {
        for (int R = 0; R < Rounds; ++R)
            Zlib = crc32(0L, Data.data(), uInt(Data.size()));
    });
    double TByte = SecondsFor([&] {
        for (int R = 0; R < Rounds; ++R) {
            uint32_t C = 0xFFFFFFFF;
            for (uint8_t B : Data)
                C = UpdateCrc32Byte(B, C);
            Bytewise = ~C;
        }
    });
    if (Ours != uint32_t(Zlib) || Ours != Bytewise) {
        std::fprintf(stderr, "CRC values differ: %08X %08lX %08X\n", Ours, Zlib, Bytewise);
        return 1;
    }
    std::printf("CRC-32 over %.0f MiB\n", MiB);
    std::printf("  ours                  %8.0f MiB/s\n", MiB / TOurs);
    std::printf("  zlib crc32            %8.0f MiB/s   ours/zlib time ratio %.2f\n", MiB / TZlib,
                TOurs / TZlib);
    std::printf("  one byte a step       %8.0f MiB/s   ours is %.1fx faster\n", MiB / TByte, TByte / TOurs);

    TStream* None = nullptr;
    TAbZDecoder Decoder("password", true, 0, None);
    double TDecrypt = SecondsFor([&] {
        for (int R = 0; R < Rounds; ++R)
            Decoder.DecryptBuffer(Data.data(), Data.size());
    });
    std::printf("Traditional decryption %8.0f MiB/s\n", MiB / TDecrypt);
    return 0;
}
