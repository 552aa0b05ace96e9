#pragma once
// Reading little-endian numbers from bytes, as zip records and resource tables store them.

#include <cstdint>

inline uint16_t GetLe16(const uint8_t* P) {
    return uint16_t(P[0] | P[1] << 8);
}

inline uint32_t GetLe32(const uint8_t* P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

inline uint64_t GetLe64(const uint8_t* P) {
    return uint64_t(GetLe32(P)) | uint64_t(GetLe32(P + 4)) << 32;
}
