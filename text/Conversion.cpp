#include "text/Conversion.h"

#include "platform/Files.h"
#include "text/FormFile.h"

#include <algorithm>
#include <cctype>
#include <forward_list>
#include <mutex>
#include <utility>

namespace {

// Below this size a chunk cannot take a line of the renderings, so none is handed out.
constexpr int64_t MinChunk = 83;

struct TRegistry {
    std::mutex Lock;
    std::forward_list<std::pair<std::string, TConversionClass>> List{{"txt", ConversionClass<TConversion>()},
                                                                     {"rtf", ConversionClass<TConversion>()}};
};

TRegistry& Registry() {
    static TRegistry R;
    return R;
}

std::string Lower(std::string S) {
    for (char& C : S)
        C = char(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

} // namespace

int64_t TConversion::ReadConverted(TStream& Source, char* Buffer, int64_t BufSize) {
    return Source.Read(Buffer, BufSize);
}

int64_t THexConversion::ReadConverted(TStream& Source, char* Buffer, int64_t BufSize) {
    if (BufSize < MinChunk)
        return 0;
    const int64_t N = Source.Read(Buffer, BufSize);
    std::replace_if(
        Buffer, Buffer + std::max<int64_t>(N, 0),
        [](char C) { return static_cast<unsigned char>(C) < 0x20 || static_cast<unsigned char>(C) > 0x7E; },
        '.');
    return N;
}

int64_t TDFMConversion::ReadConverted(TStream& Source, char* Dest, int64_t BufSize) {
    if (BufSize < MinChunk)
        return 0;
    if (Buffer && Buffer->Position() >= Buffer->Size())
        return 0;
    if (Converted != 999) {
        Buffer = std::make_unique<TMemoryStream>();
        ObjectResourceToText(Source, *Buffer);
        Buffer->SetPosition(0);
    }
    Converted = 999;
    return Buffer->Read(Dest, BufSize);
}

void RegisterConversionFormat(const std::string& Ext, TConversionClass Class) {
    TRegistry& R = Registry();
    std::lock_guard Guard(R.Lock);
    R.List.emplace_front(Lower(Ext), std::move(Class));
}

TConversionClass FindConversionFormat(const std::string& Ext) {
    TRegistry& R = Registry();
    const std::string Key = Lower(Ext);
    std::lock_guard Guard(R.Lock);
    for (const auto& [Name, Class] : R.List)
        if (Name == Key)
            return Class;
    return {};
}

void RegisterDisplayConversions() {
    RegisterConversionFormat("pas", ConversionClass<TConversion>());
    RegisterConversionFormat("dfm", ConversionClass<TDFMConversion>());
}

std::string ReadAllConverted(TStream& Source, const std::string& FileName, const TConversionClass& Default,
                             int64_t ChunkSize) {
    const std::string Ext = ExtractFileExt(FileName);
    TConversionClass Class = Ext.empty() ? TConversionClass() : FindConversionFormat(Ext.substr(1));
    std::unique_ptr<TConversion> Conversion = Class     ? Class()
                                              : Default ? Default()
                                                        : std::make_unique<TConversion>();
    std::string Text;
    const int64_t Size = Source.Size() - Source.Position();
    if (Size > 0)
        Text.reserve(size_t(Size));
    for (;;) {
        const size_t Old = Text.size();
        Text.resize(Old + size_t(ChunkSize));
        const int64_t N = Conversion->ReadConverted(Source, Text.data() + Old, ChunkSize);
        Text.resize(Old + size_t(std::max<int64_t>(N, 0)));
        if (N <= 0)
            return Text;
    }
}
