#pragma once
// Decoder of imploded entries (method 6): Shannon-Fano coded literals, lengths and distances over a 4 KB or
// 8 KB dictionary.

#include "archive/AbDecodeIO.h"

#include <cstdint>

// Decodes until UncompressedSize bytes are produced (a copy under way is completed) or the input ends.
// DictionarySize is 2 for the 8 KB dictionary (general-purpose bit 1 set), else 1; ShannonFanoTreeCount
// is 3 when a literal tree is present (bit 2 set), else 2.
void Explode(TAbDecodeInput& Input, TAbDecodeOutput& Output, uint64_t UncompressedSize,
             uint32_t DictionarySize, int ShannonFanoTreeCount);
