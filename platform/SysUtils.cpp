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
        bool Left = false;
        if (I < Fmt.size() && Fmt[I] == '-') {
            Left = true;
            ++I;
        }
        int Width = 0;
        while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9')
            Width = Width * 10 + (Fmt[I++] - '0');
        int Precision = -1;
        if (I < Fmt.size() && Fmt[I] == '.') {
            ++I;
            Precision = 0;
            while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9')
                Precision = Precision * 10 + (Fmt[I++] - '0');
        }
        if (I >= Fmt.size() || Width > 1000 || Precision > 100)
            BadFormat(Fmt);
        char Conv = char(Fmt[I++] | 0x20);
        if (Arg == Args.end())
            BadFormat(Fmt);
        const auto& V = (Arg++)->Value();
        char Buf[128];
        std::string Piece;
        switch (Conv) {
        case 'd':
        case 'u':
            if (auto* P = std::get_if<int64_t>(&V))
                std::snprintf(Buf, sizeof Buf, "%lld", static_cast<long long>(*P));
            else if (auto* Q = std::get_if<uint64_t>(&V))
                std::snprintf(Buf, sizeof Buf, "%llu", static_cast<unsigned long long>(*Q));
            else
                BadFormat(Fmt);
            Piece = Buf;
            if (Precision > int(Piece.size()))
                Piece.insert(Piece[0] == '-' ? 1 : 0, size_t(Precision) - Piece.size(), '0');
            break;
        case 'x': {
            unsigned long long U;
            if (auto* P = std::get_if<int64_t>(&V))
                U = static_cast<unsigned long long>(*P) & (*P < 0 && *P >= INT32_MIN ? 0xFFFFFFFFull : ~0ull);
            else if (auto* Q = std::get_if<uint64_t>(&V))
                U = *Q;
            else
                BadFormat(Fmt);
            std::snprintf(Buf, sizeof Buf, "%llX", U);
            Piece = Buf;
            if (Precision > int(Piece.size()))
                Piece.insert(0, size_t(Precision) - Piece.size(), '0');
            break;
        }
        case 'f': {
            double D;
            if (auto* P = std::get_if<double>(&V))
                D = *P;
            else if (auto* I64 = std::get_if<int64_t>(&V))
                D = double(*I64);
            else if (auto* U64 = std::get_if<uint64_t>(&V))
                D = double(*U64);
            else
                BadFormat(Fmt);
            std::snprintf(Buf, sizeof Buf, "%.*f", Precision < 0 ? 2 : Precision, D);
            Piece = Buf;
            break;
        }
        case 's':
            if (auto* P = std::get_if<std::string>(&V))
                Piece = Precision >= 0 ? P->substr(0, size_t(Precision)) : *P;
            else
                BadFormat(Fmt);
            break;
        default:
            BadFormat(Fmt);
        }
        Out += Pad(std::move(Piece), Width, Left);
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
