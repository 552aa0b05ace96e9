#include "platform/SysUtils.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

[[noreturn]] void BadFormat(const std::string& Fmt) {
    throw EConvertError("Format '" + Fmt + "' invalid or incompatible with argument");
}

std::string Pad(std::string S, int Width, bool Left) {
    if (Width > 0 && int(S.size()) < Width) {
        if (Left)
            S.append(size_t(Width) - S.size(), ' ');
        else
            S.insert(0, size_t(Width) - S.size(), ' ');
    }
    return S;
}

// One conversion's flags, width and precision, read from the format after its "%".
struct TConversionItem {
    bool Left = false;
    int Width = 0;
    int Precision = -1; // none given
    char Conv = 0;      // lower case
};

int ReadNumber(const std::string& Fmt, size_t& I) {
    int N = 0;
    while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9')
        N = N * 10 + (Fmt[I++] - '0');
    return N;
}

TConversionItem ReadConversionItem(const std::string& Fmt, size_t& I) {
    TConversionItem Item;
    if (I < Fmt.size() && Fmt[I] == '-') {
        Item.Left = true;
        ++I;
    }
    Item.Width = ReadNumber(Fmt, I);
    if (I < Fmt.size() && Fmt[I] == '.') {
        ++I;
        Item.Precision = ReadNumber(Fmt, I);
    }
    if (I >= Fmt.size() || Item.Width > 1000 || Item.Precision > 100)
        BadFormat(Fmt);
    Item.Conv = char(Fmt[I++] | 0x20);
    return Item;
}

using TValue = std::variant<int64_t, uint64_t, double, std::string>;

std::string FormatDecimal(const std::string& Fmt, const TValue& V, int Precision) {
    char Buf[32];
    if (auto* P = std::get_if<int64_t>(&V))
        std::snprintf(Buf, sizeof Buf, "%lld", static_cast<long long>(*P));
    else if (auto* Q = std::get_if<uint64_t>(&V))
        std::snprintf(Buf, sizeof Buf, "%llu", static_cast<unsigned long long>(*Q));
    else
        BadFormat(Fmt);
    std::string Piece = Buf;
    if (Precision > int(Piece.size()))
        Piece.insert(Piece[0] == '-' ? 1 : 0, size_t(Precision) - Piece.size(), '0');
    return Piece;
}

// Upper-case hexadecimal; a negative 32-bit value shows as its 32-bit pattern.
std::string FormatHex(const std::string& Fmt, const TValue& V, int Precision) {
    unsigned long long U;
    if (auto* P = std::get_if<int64_t>(&V))
        U = static_cast<unsigned long long>(*P) & (*P < 0 && *P >= INT32_MIN ? 0xFFFFFFFFull : ~0ull);
    else if (auto* Q = std::get_if<uint64_t>(&V))
        U = *Q;
    else
        BadFormat(Fmt);
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%llX", U);
    std::string Piece = Buf;
    if (Precision > int(Piece.size()))
        Piece.insert(0, size_t(Precision) - Piece.size(), '0');
    return Piece;
}

// Two decimals unless a precision is given.
std::string FormatFloat(const std::string& Fmt, const TValue& V, int Precision) {
    double D;
    if (auto* P = std::get_if<double>(&V))
        D = *P;
    else if (auto* I64 = std::get_if<int64_t>(&V))
        D = double(*I64);
    else if (auto* U64 = std::get_if<uint64_t>(&V))
        D = double(*U64);
    else
        BadFormat(Fmt);
    char Buf[512];
    std::snprintf(Buf, sizeof Buf, "%.*f", Precision < 0 ? 2 : Precision, D);
    return Buf;
}

std::string FormatOne(const std::string& Fmt, const TConversionItem& Item, const TValue& V) {
    switch (Item.Conv) {
    case 'd':
    case 'u':
        return FormatDecimal(Fmt, V, Item.Precision);
    case 'x':
        return FormatHex(Fmt, V, Item.Precision);
    case 'f':
        return FormatFloat(Fmt, V, Item.Precision);
    case 's':
        if (auto* P = std::get_if<std::string>(&V))
            return Item.Precision >= 0 ? P->substr(0, size_t(Item.Precision)) : *P;
        break;
    default:
        break;
    }
    BadFormat(Fmt);
}

} // namespace

std::string Format(const std::string& Fmt, std::initializer_list<TFormatArg> Args) {
    std::string Out;
    auto Arg = Args.begin();
    size_t I = 0;
    while (I < Fmt.size()) {
        char C = Fmt[I++];
        if (C != '%') {
            Out += C;
            continue;
        }
        if (I < Fmt.size() && Fmt[I] == '%') {
            Out += '%';
            ++I;
            continue;
        }
        const TConversionItem Item = ReadConversionItem(Fmt, I);
        if (Arg == Args.end())
            BadFormat(Fmt);
        Out += Pad(FormatOne(Fmt, Item, (Arg++)->Value()), Item.Width, Item.Left);
    }
    return Out;
}

std::string SysErrorMessage(int Code) {
    return std::strerror(Code);
}

std::string UpperCaseAscii(std::string S) {
    for (char& C : S)
        if (C >= 'a' && C <= 'z')
            C = char(C - 32);
    return S;
}

bool SameTextAscii(const std::string& A, const std::string& B) {
    return A.size() == B.size() && UpperCaseAscii(A) == UpperCaseAscii(B);
}

std::vector<std::string> SplitAtSemicolons(const std::string& Text) {
    std::vector<std::string> List;
    std::string Piece;
    for (char C : Text) {
        if (C == ';') {
            List.push_back(Piece);
            Piece.clear();
        } else {
            Piece += C;
        }
    }
    if (!Piece.empty())
        List.push_back(Piece);
    return List;
}

namespace {

std::string InOutMessage(const std::string& Operation, const std::string& Path, int Code) {
    const std::string Where = Path.empty() ? Operation : Operation + " \"" + Path + '"';
    return "Cannot " + Where + ". " + SysErrorMessage(Code);
}

} // namespace

EInOutError::EInOutError(const std::string& AOperation, const std::string& APath, int Code)
    : Exception(InOutMessage(AOperation, APath, Code)), Operation(AOperation), Path(APath), ErrorCode(Code) {}

int CurrentProcessId() {
    return int(::getpid());
}
