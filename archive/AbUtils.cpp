#include "archive/AbUtils.h"

#include "archive/AbExcept.h"
#include "platform/Files.h"
#include "platform/LittleEndian.h"
#include "platform/SysUtils.h"
#include "platform/Wildcard.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <string_view>

std::pair<TAbErrorClass, int> ClassifyError(const std::exception& E) {
    if (auto* A = dynamic_cast<const EAbException*>(&E))
        return {ecArchiveError, A->ErrorCode};
    if (auto* Io = dynamic_cast<const EInOutError*>(&E))
        return {ecInOutError, Io->ErrorCode};
    if (dynamic_cast<const EFilerError*>(&E))
        return {ecFilerError, 0};
    if (dynamic_cast<const EFOpenError*>(&E))
        return {ecFileOpenError, 0};
    if (dynamic_cast<const EFCreateError*>(&E))
        return {ecFileCreateError, 0};
    return {ecOtherError, 0};
}

void TAbPadLock::SetLocked(bool Value) {
    if (Value) {
        FSection.Enter();
        ++FCount;
    } else if (FCount > 0) {
        --FCount;
        FSection.Leave();
    }
}

namespace {

// Table k advances a byte that lies k positions before the end of a 16-byte group, so sixteen bytes take
// sixteen independent lookups instead of a chain of sixteen.
constexpr size_t CrcSlices = 16;
using TCrcTables = std::array<std::array<uint32_t, 256>, CrcSlices>;

constexpr TCrcTables MakeCrcTables() {
    TCrcTables T{};
    for (uint32_t N = 0; N < 256; ++N) {
        uint32_t C = N;
        for (int K = 0; K < 8; ++K)
            C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
        T[0][N] = C;
    }
    for (size_t K = 1; K < CrcSlices; ++K)
        for (size_t N = 0; N < 256; ++N)
            T[K][N] = T[0][T[K - 1][N] & 0xFF] ^ (T[K - 1][N] >> 8);
    return T;
}

constexpr TCrcTables CrcTables = MakeCrcTables();

constexpr std::array<uint8_t, 256> MakeReversedBytes() {
    std::array<uint8_t, 256> R{};
    for (unsigned N = 0; N < 256; ++N) {
        unsigned V = 0;
        for (unsigned B = 0; B < 8; ++B)
            if (N & (1u << B))
                V |= 0x80u >> B;
        R[N] = uint8_t(V);
    }
    return R;
}

constexpr std::array<uint8_t, 256> ReversedBytes = MakeReversedBytes();

} // namespace

const std::array<uint32_t, 256> AbCrc32Table = CrcTables[0];

#if defined(__x86_64__)
namespace {

// Carry-less multiplication folds 64 bytes per step (the folding method for reflected CRCs with the
// constants x^(k*32) mod P for this polynomial), then reduces to 32 bits by Barrett reduction.
#define TARNLET_CLMUL __attribute__((target("pclmul,sse4.1")))

TARNLET_CLMUL __m128i Load(const uint8_t* At) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(At));
}

// X times x^(128 + distance) folded onto the next block Next; K holds the two distances' constants.
TARNLET_CLMUL __m128i Fold(__m128i X, __m128i K, __m128i Next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(X, K, 0x00), _mm_clmulepi64_si128(X, K, 0x11)),
                         Next);
}

// Count is at least 64 and a multiple of 16.
TARNLET_CLMUL uint32_t FoldCrc32(uint32_t Crc, const uint8_t* P, size_t Count) {
    const __m128i K1K2 = _mm_set_epi64x(0x01C6E41596, 0x0154442BD4);
    const __m128i K3K4 = _mm_set_epi64x(0x00CCAA009E, 0x01751997D0);
    const __m128i K5 = _mm_set_epi64x(0, 0x0163CD6124);
    const __m128i Poly = _mm_set_epi64x(0x01F7011641, 0x01DB710641);
    const __m128i Low32 = _mm_setr_epi32(-1, 0, -1, 0);

    __m128i X1 = _mm_xor_si128(Load(P), _mm_cvtsi32_si128(int(Crc)));
    __m128i X2 = Load(P + 16), X3 = Load(P + 32), X4 = Load(P + 48);
    P += 64;
    Count -= 64;
    for (; Count >= 64; P += 64, Count -= 64) {
        X1 = Fold(X1, K1K2, Load(P));
        X2 = Fold(X2, K1K2, Load(P + 16));
        X3 = Fold(X3, K1K2, Load(P + 32));
        X4 = Fold(X4, K1K2, Load(P + 48));
    }
    X1 = Fold(Fold(Fold(X1, K3K4, X2), K3K4, X3), K3K4, X4);
    for (; Count >= 16; P += 16, Count -= 16)
        X1 = Fold(X1, K3K4, Load(P));

    // 128 bits to 64, then to 32 by Barrett reduction.
    X1 = _mm_xor_si128(_mm_srli_si128(X1, 8), _mm_clmulepi64_si128(X1, K3K4, 0x10));
    X1 = _mm_xor_si128(_mm_srli_si128(X1, 4), _mm_clmulepi64_si128(_mm_and_si128(X1, Low32), K5, 0x00));
    __m128i T = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(X1, Low32), Poly, 0x10), Low32);
    X1 = _mm_xor_si128(X1, _mm_clmulepi64_si128(T, Poly, 0x00));
    return uint32_t(_mm_extract_epi32(X1, 1));
}

#undef TARNLET_CLMUL

const bool HasCarrylessMultiply = [] {
    __builtin_cpu_init(); // may run before the run-time library has asked the processor itself
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}();

} // namespace
#endif

void UpdateCrc32(uint32_t& Crc, const void* Buffer, size_t Count) {
    auto* P = static_cast<const uint8_t*>(Buffer);
    uint32_t C = Crc;
#if defined(__x86_64__)
    if (HasCarrylessMultiply && Count >= 64) {
        size_t Whole = Count & ~size_t(15);
        C = FoldCrc32(C, P, Whole);
        P += Whole;
        Count -= Whole;
    }
#endif
    for (; Count >= CrcSlices; Count -= CrcSlices, P += CrcSlices) {
        uint32_t W = GetLe32(P) ^ C;
        C = CrcTables[CrcSlices - 1][W & 0xFF] ^ CrcTables[CrcSlices - 2][(W >> 8) & 0xFF] ^
            CrcTables[CrcSlices - 3][(W >> 16) & 0xFF] ^ CrcTables[CrcSlices - 4][W >> 24];
        for (size_t K = 4; K < CrcSlices; ++K)
            C ^= CrcTables[CrcSlices - 1 - K][P[K]];
    }
    for (; Count > 0; --Count, ++P)
        C = CrcTables[0][(C ^ *P) & 0xFF] ^ (C >> 8);
    Crc = C;
}

unsigned ReverseBits(unsigned Code, unsigned Bits) {
    if (Bits <= 8)
        return ReversedBytes[Code & 0xFF] >> (8 - Bits);
    return (unsigned(ReversedBytes[Code & 0xFF]) << 8 | ReversedBytes[(Code >> 8) & 0xFF]) >> (16 - Bits);
}

void ReverseBits16(uint16_t& Code) {
    Code = uint16_t(ReverseBits(Code, 16));
}

uint8_t PercentOf(int64_t Done, int64_t Total) {
    if (Total > 0xFA0000) {
        // (V + 128) >> 8 without overflowing near the top of the range.
        auto Scale = [](int64_t V) { return (V >> 8) + ((V & 0xFF) >= 128); };
        Done = Scale(Done);
        Total = Scale(Total);
    }
    if (Total < 1)
        return 0;
    if (Total <= Done)
        return 100;
    return Done <= 0 ? 0 : uint8_t(Done * 100 / Total);
}

namespace {

// The entry masks' steps: "*" and "?" only, every other byte literal. A "*" that ends the pattern takes
// any rest of the name, none too; a "*" followed only by "*" or "*.*" needs at least one character.
TWildcard CompileEntryMask(std::string_view P) {
    TWildcard W;
    TWildcard::TStep Step;
    for (size_t J = 0; J < P.size(); ++J) {
        if (P[J] == '*') {
            const std::string_view Rest = P.substr(J + 1);
            Step.Skip = true;
            if (Rest.empty()) {
                Step.Kind = TWildcard::wkEnd;
                W.Add(Step);
                return W;
            }
            if (Rest == "*" || Rest == "*.*") {
                Step.Kind = TWildcard::wkNonEmpty;
                W.Add(Step);
                return W;
            }
            continue;
        }
        Step.Kind = P[J] == '?' ? TWildcard::wkAnyChar : TWildcard::wkLiteral;
        Step.Ch = uint8_t(P[J]);
        W.Add(Step);
        Step = TWildcard::TStep();
    }
    Step.Kind = TWildcard::wkEnd;
    W.Add(Step);
    return W;
}

} // namespace

// Unlike the walk's file masks, entry masks take "*" and "*.*" as every name, dotted or not, as the DOS
// programs that wrote the archives did; the search relies on it to stop tagging after "*.*".
bool WildcardMatch(const std::string& S, const std::string& Pattern) {
    if (S.empty())
        return Pattern.empty();
    if (Pattern == "*" || Pattern == "*.*")
        return true;
    if (Pattern.empty())
        return false;
    return CompileEntryMask(Pattern).Matches(S, false);
}

namespace {

// Splits after the last separator; the folder part keeps it.
std::pair<std::string, std::string> SplitFolder(const std::string& Path) {
    size_t P = Path.rfind('/');
    if (P == std::string::npos)
        return {std::string(), Path};
    return {Path.substr(0, P + 1), Path.substr(P + 1)};
}

} // namespace

bool NameMatchesMask(const std::string& Name, const std::string& Mask) {
    auto [MaskDir, MaskName] = SplitFolder(UpperCaseAscii(Mask));
    auto [NameDir, NameName] = SplitFolder(UpperCaseAscii(Name));
    if (!MaskDir.empty() && !WildcardMatch(NameDir, MaskDir))
        return false;
    return WildcardMatch(NameName, MaskName);
}

TAbPathParts SplitPath(const std::string& Path) {
    std::string P = Path;
    ForwardToBackslash(P);
    auto [Dir, Name] = SplitFolder(P);
    return {std::string(), Dir, Name};
}

void StripDrive(std::string& Path) {
    TAbPathParts Parts = SplitPath(Path);
    Path = Parts.Directory + Parts.Name;
}

void RemoveLeadingDots(std::string& Path) {
    size_t P = 0;
    while (Path.compare(P, 3, "../") == 0)
        P += 3;
    Path.erase(0, P);
}

void ForwardToBackslash(std::string& Path) {
    std::replace(Path.begin(), Path.end(), '\\', '/');
}

size_t NthBackslash(const std::string& S, size_t N) {
    size_t Seen = 0;
    for (size_t I = 0; I < S.size(); ++I)
        if (S[I] == '/' && ++Seen == N)
            return I;
    return S.size();
}

bool DirectoryExists(const std::string& Path) {
    return Path.find_first_of("*?") == std::string::npos && DirExists(Path);
}

void CreateDirectoryPath(const std::string& Path) {
    if (DirectoryExists(Path))
        return;
    // An absolute path's first prefix would be the empty root; a relative one starts at its first folder.
    size_t N = !Path.empty() && Path[0] == '/' ? 2 : 1;
    for (;; ++N) {
        std::string Prefix = Path.substr(0, NthBackslash(Path, N));
        if (!Prefix.empty() && !DirExists(Prefix))
            CreateDir(Prefix);
        if (Prefix.size() == Path.size())
            return;
    }
}

std::string ShortPathName(const std::string& Path) {
    TAbPathParts Parts = SplitPath(Path);
    std::string Result = !Parts.Directory.empty() && Parts.Directory[0] == '/' ? "/" : "";
    size_t I = Result.size();
    while (I < Parts.Directory.size()) {
        size_t Slash = Parts.Directory.find('/', I);
        std::string Part = Parts.Directory.substr(I, Slash - I);
        I = Slash + 1;
        if (Part.empty())
            continue;
        std::string Found = ResolvePathCase(Result + Part);
        if (!PathExists(Found))
            throw EAbException("Path not found");
        Result = Found + '/';
    }
    std::string File = ResolvePathCase(Result + Parts.Name);
    if (Parts.Name.empty() || !PathExists(File))
        throw EAbFileNotFound();
    return File;
}

void TruncateFileStream(THandleStream& Stream, int64_t NewSize) {
    Stream.Seek(NewSize, soFromBeginning);
    Stream.SetSize(NewSize);
}

int SetVolumeLabel(const std::string& /*Drive*/, const std::string& /*Label*/) {
    return ENOTSUP;
}
