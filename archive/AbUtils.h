#pragma once
// What the rest of the archive library leans on: error classification, the archive lock, CRC-32, bit
// reversal, percentages, and the wildcard and path routines.
//
// Paths on Linux: "/" is the folder separator wherever the routine names speak of a backslash, and a
// stray "\" (as stored by some DOS programs) is taken as a separator too, so both make folders. There are
// no drive parts: Drive is always empty and a path beginning with "/" is absolute. There are no short
// (8.3) names and no volume labels.

#include "platform/Classes.h"
#include "platform/SyncObjs.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// How a failure of one item is reported to the item-failure event.
enum TAbErrorClass : int {
    ecArchiveError = 0,
    ecInOutError = 1,
    ecFilerError = 2,
    ecFileCreateError = 3,
    ecFileOpenError = 4,
    ecOtherError = 5,
    ecDuplicateName = 7,
};

// The class of a caught failure and the code that goes with it: an archive exception's message id, an
// input/output error's errno, 0 otherwise.
std::pair<TAbErrorClass, int> ClassifyError(const std::exception& E);

// The archive's lock; its holder may take it again.
class TAbPadLock {
public:
    bool Locked() const { return FCount > 0; }
    void SetLocked(bool Value);

private:
    std::atomic<int> FCount{0};
    TCriticalSection FSection;
};

// CRC-32 of the zip format (reflected polynomial 0xEDB88320). Neither routine presets or complements:
// callers start with 0xFFFFFFFF and complement the result.
extern const std::array<uint32_t, 256> AbCrc32Table;
inline uint32_t UpdateCrc32Byte(uint8_t Byte, uint32_t Crc) {
    return AbCrc32Table[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}
void UpdateCrc32(uint32_t& Crc, const void* Buffer, size_t Count);

// The low Bits bits of Code (1 to 16) in reverse order.
unsigned ReverseBits(unsigned Code, unsigned Bits);
void ReverseBits16(uint16_t& Code);

// Done as a percentage of Total, 0 to 100.
uint8_t PercentOf(int64_t Done, int64_t Total);

inline int64_t AbMax(int64_t A, int64_t B) {
    return A > B ? A : B;
}

// "*" and "?" matching; upper-case both first where case must not matter. "*" and "*.*" match every
// non-empty string; an empty string matches only an empty pattern.
bool WildcardMatch(const std::string& S, const std::string& Pattern);
// Case-insensitive (ASCII). A mask with a folder part also needs the name's folder part to match it.
bool NameMatchesMask(const std::string& Name, const std::string& Mask);

struct TAbPathParts {
    std::string Drive;     // always empty on Linux
    std::string Directory; // up to and including the last separator
    std::string Name;
};
// Splits Path after turning every "\" into "/".
TAbPathParts SplitPath(const std::string& Path);
void StripDrive(std::string& Path);
// Removes "../" from the start as often as it is there.
void RemoveLeadingDots(std::string& Path);
// Makes every separator "/" (zip names to file-system paths).
void ForwardToBackslash(std::string& Path);
// The number of characters before the N-th "/" (N from 1), or the length of S when it has fewer.
size_t NthBackslash(const std::string& S, size_t N);

// False for names with wildcards.
bool DirectoryExists(const std::string& Path);
// Creates every missing folder of the chain; EInOutError when one cannot be created.
void CreateDirectoryPath(const std::string& Path);
// Path with each part spelled as it is on disk (found without regard to case). A missing folder raises
// EAbException "Path not found", a missing file EAbFileNotFound.
std::string ShortPathName(const std::string& Path);
// Cuts the file at NewSize and leaves the position there.
void TruncateFileStream(THandleStream& Stream, int64_t NewSize);
// Linux file systems have no labels to set: always the errno value ENOTSUP.
int SetVolumeLabel(const std::string& Drive, const std::string& Label);
