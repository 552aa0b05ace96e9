#include "platform/CodePage.h"

#include <array>

namespace {

// Code points of CP437 bytes 128 to 255.
constexpr std::array<uint16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

} // namespace

void AppendUtf8(std::string& Out, uint32_t Cp) {
    if (Cp < 0x80) {
        Out += char(Cp);
    } else if (Cp < 0x800) {
        Out += char(0xC0 | (Cp >> 6));
        Out += char(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += char(0xE0 | (Cp >> 12));
        Out += char(0x80 | ((Cp >> 6) & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    } else {
        Out += char(0xF0 | (Cp >> 18));
        Out += char(0x80 | ((Cp >> 12) & 0x3F));
        Out += char(0x80 | ((Cp >> 6) & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    }
}

bool DecodeUtf8(const std::string& S, size_t& I, uint32_t& CodePoint) {
    const auto B = uint8_t(S[I++]);
    CodePoint = B;
    if (B < 0x80)
        return true;
    const int More = B >= 0xC2 && B <= 0xDF ? 1 : B >= 0xE0 && B <= 0xEF ? 2 : B >= 0xF0 && B <= 0xF4 ? 3 : 0;
    if (More == 0)
        return false;
    uint32_t Cp = B & (0x3Fu >> More);
    size_t J = I;
    for (int K = 0; K < More; ++K, ++J) {
        if (J >= S.size() || (uint8_t(S[J]) & 0xC0) != 0x80)
            return false;
        Cp = Cp << 6 | (uint8_t(S[J]) & 0x3Fu);
    }
    static const uint32_t Least[] = {0, 0x80, 0x800, 0x10000};
    if (Cp < Least[More] || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp < 0xE000))
        return false;
    I = J;
    CodePoint = Cp;
    return true;
}

bool IsUtf8(const std::string& S) {
    uint32_t Cp;
    for (size_t I = 0; I < S.size();)
        if (!DecodeUtf8(S, I, Cp))
            return false;
    return true;
}

std::string OemToAnsi(const std::string& Oem) {
    std::string Out;
    Out.reserve(Oem.size());
    for (char C : Oem) {
        auto B = uint8_t(C);
        if (B < 0x80)
            Out += C;
        else
            AppendUtf8(Out, kCp437High[B - 0x80]);
    }
    return Out;
}

bool AnsiToOem(const std::string& Ansi, std::string& Oem) {
    std::string Out;
    Out.reserve(Ansi.size());
    for (size_t I = 0; I < Ansi.size();) {
        uint32_t Cp;
        DecodeUtf8(Ansi, I, Cp); // a malformed byte stands for itself, and finds no place in CP437
        if (Cp < 0x80) {
            Out += char(Cp);
            continue;
        }
        size_t K = 0;
        while (K < kCp437High.size() && kCp437High[K] != Cp)
            ++K;
        if (K == kCp437High.size())
            return false;
        Out += char(0x80 + K);
    }
    Oem = std::move(Out);
    return true;
}
