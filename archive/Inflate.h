#pragma once
// Decoder for deflated entries (method 8).

#include "archive/AbDecodeIO.h"

// Decodes one deflate stream from In into Out, up to the end of its last block. The 32 KiB window
// starts zero-filled, so a distance reaching before the first byte copies zeros. Input that ends inside
// the last block ends the entry early (the CRC check catches it); input that ends anywhere else, and
// any damaged block, raises EAbZipInflateBlock after what was decoded so far has been written.
void Inflate(TAbDecodeInput& In, TAbDecodeOutput& Out);
