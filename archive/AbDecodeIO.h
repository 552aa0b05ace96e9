#pragma once
// What the decoders see of an extraction: compressed bytes arriving chunk by chunk, and a sink for the
// decoded bytes. The extraction driver supplies both (reading 4,096-byte chunks, decrypting, changing
// disks; gathering output, CRC-32, progress, the size cap).

#include <cstddef>
#include <cstdint>

class TAbDecodeInput {
public:
    virtual ~TAbDecodeInput() = default;
    // The next chunk of the entry's compressed bytes. False when the input has ended: Data and Count are
    // then left alone. A chunk stays valid until the next call.
    virtual bool NextChunk(const uint8_t*& Data, size_t& Count) = 0;
};

class TAbDecodeOutput {
public:
    virtual ~TAbDecodeOutput() = default;
    // Takes Count decoded bytes in order. May raise (an abort from progress, a write failure).
    virtual void Write(const uint8_t* Data, size_t Count) = 0;
};
