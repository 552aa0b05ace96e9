#pragma once
// Decoder of shrunk entries (method 1): dynamic LZW with 9- to 13-bit codes and partial clearing.

#include "archive/AbDecodeIO.h"

// Decodes until the input ends. Damaged data never leaves the code tables; it ends the entry early, and
// the caller's CRC check then rejects it.
void Unshrink(TAbDecodeInput& Input, TAbDecodeOutput& Output);
