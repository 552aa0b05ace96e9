#pragma once
// Encoder for deflated entries (method 8): a raw deflate stream from hash chains over a 32 KiB window,
// lazy matching at every level, and for each block the smallest of the stored, fixed and dynamic forms.

#include <cstddef>
#include <cstdint>

class TDeflateInput {
public:
    virtual ~TDeflateInput() = default;
    // Up to Count bytes of the source into Buffer; 0 once the source has ended.
    virtual size_t Read(uint8_t* Buffer, size_t Count) = 0;
};

class TDeflateOutput {
public:
    virtual ~TDeflateOutput() = default;
    // Takes the next Count compressed bytes. The bytes may be changed in place (encrypted).
    virtual void Write(uint8_t* Data, size_t Count) = 0;
};

// What the first block's literals suggest the source is.
enum TDeflateFileType : uint8_t { ftBinary = 0, ftText = 1, ftUnknown = 2 };

// Compresses everything In gives into Out as one deflate stream, at Level 1 (fastest) to 9 (smallest);
// any other level counts as 5. Out receives the stream in pieces of at most 8,192 bytes.
TDeflateFileType Deflate(TDeflateInput& In, TDeflateOutput& Out, int Level);
