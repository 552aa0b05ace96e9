#pragma once
// Conversions turn a file's bytes into the text the content pane shows, chunk by chunk, chosen by the
// file's extension from a process-wide registry.

#include "platform/Classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Copies the source unchanged.
class TConversion {
public:
    virtual ~TConversion() = default;
    TConversion() = default;
    TConversion(const TConversion&) = delete;
    TConversion& operator=(const TConversion&) = delete;

    // Places up to BufSize bytes of text in Buffer; returns how many (0 at the end of the text).
    virtual int64_t ReadConverted(TStream& Source, char* Buffer, int64_t BufSize);
};

// The dotted rendering: every byte outside 0x20..0x7E becomes ".".
class THexConversion : public TConversion {
public:
    int64_t ReadConverted(TStream& Source, char* Buffer, int64_t BufSize) override;
};

// A binary form file in resource form, shown as the text form. The whole file is converted on the first
// chunk and then handed out.
class TDFMConversion : public TConversion {
public:
    int64_t ReadConverted(TStream& Source, char* Buffer, int64_t BufSize) override;

    int32_t Converted = 0; // 999 once the conversion has run
    std::unique_ptr<TMemoryStream> Buffer;
};

// Makes a fresh conversion for one load.
using TConversionClass = std::function<std::unique_ptr<TConversion>()>;

template <class T> TConversionClass ConversionClass() {
    return [] { return std::make_unique<T>(); };
}

// Registers Class for the extension (lower case, no dot); the newest registration of an extension wins.
// Before any registration "txt" and "rtf" copy the file unchanged.
void RegisterConversionFormat(const std::string& Ext, TConversionClass Class);
// The conversion registered for the extension (any case, no dot), or an empty function.
TConversionClass FindConversionFormat(const std::string& Ext);
// What the content pane registers when its window is created: "pas" as stored, "dfm" as form text.
void RegisterDisplayConversions();

// The conversion for a file name's extension, else Default. Reads all of Source through it in chunks of
// ChunkSize bytes and returns the text.
std::string ReadAllConverted(TStream& Source, const std::string& FileName, const TConversionClass& Default,
                             int64_t ChunkSize = 1 << 16);
