#pragma once
// Decoder of reduced entries (methods 2 to 5): follower sets, then DLE-escaped runs and back-references.

#include "archive/AbDecodeIO.h"

#include <cstdint>

// Decodes until UncompressedSize bytes are produced (a copy under way is completed) or the input ends.
// Factor is the reduction factor, method - 1; one outside 1 to 4 raises EAbZipInvalidFactor.
void Unreduce(TAbDecodeInput& Input, TAbDecodeOutput& Output, uint64_t UncompressedSize, int Factor);
