#include "text/FormFile.h"

#include "platform/CodePage.h"
#include "platform/SysUtils.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

enum TValueType : uint8_t {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString
};

// Object flags of the prefix byte.
constexpr uint8_t ffInherited = 1, ffChildPos = 2;
// Characters of a string per line of the text form.
constexpr size_t SegmentLength = 64;
constexpr size_t BinaryBytesPerLine = 32;
// Real forms nest a few levels; damaged ones must not exhaust the stack.
constexpr int MaxDepth = 100;

[[noreturn]] void Invalid() {
    throw EFilerError("Invalid stream format");
}

// Floats as the text form writes them: up to 15 significant digits, "E" and a bare exponent when
// scientific, "." as the decimal separator whatever the locale.
std::string GeneralFloat(long double V) {
    if (std::isnan(V))
        return "NAN";
    if (std::isinf(V))
        return V < 0 ? "-INF" : "INF";
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.15Lg", V);
    std::string S = Buf;
    for (char& C : S)
        if (C == ',')
            C = '.';
    const size_t E = S.find('e');
    if (E == std::string::npos)
        return S;
    std::string Exp = S.substr(E + 1);
    const bool Negative = Exp[0] == '-';
    Exp.erase(0, Exp.find_first_not_of("+-0"));
    return S.substr(0, E) + "E" + (Negative ? "-" : "") + (Exp.empty() ? "0" : Exp);
}

class TFormText {
public:
    TFormText(const uint8_t* Data, size_t Size) : P(Data), End(Data + Size) {}

    void Signature() {
        if (std::memcmp(Bytes(4).data(), "TPF0", 4) != 0)
            Invalid();
    }
    void ResourceHeader() {
        if (Byte() != 0xFF || Byte() != 0x0A || Byte() != 0x00)
            Invalid();
        while (Byte() != 0)
            ;
        Need(6);
        P += 6;
    }
    void Object(int Level);

    std::string Out;

private:
    void Need(size_t N) const {
        if (size_t(End - P) < N)
            throw EReadError("Stream read error");
    }
    uint8_t Byte() {
        Need(1);
        return *P++;
    }
    uint8_t Peek() const {
        Need(1);
        return *P;
    }
    uint64_t Unsigned(int N) {
        Need(size_t(N));
        uint64_t V = 0;
        for (int I = 0; I < N; ++I)
            V |= uint64_t(P[I]) << (8 * I);
        P += N;
        return V;
    }
    std::string Bytes(size_t N) {
        Need(N);
        std::string S(reinterpret_cast<const char*>(P), N);
        P += N;
        return S;
    }
    std::string ShortString() { return Bytes(Byte()); }
    void NewLine(int Level) {
        Out += "\r\n";
        Out.append(size_t(2 * Level), ' ');
    }

    int64_t Integer(uint8_t Type);
    void Value(int Level);
    void Properties(int Level);
    void Text(const std::vector<uint32_t>& Chars, bool Wide, int Level);
    void Binary(int Level);
    void Collection(int Level);

    const uint8_t* P;
    const uint8_t* End;
    int Depth = 0;
};

int64_t TFormText::Integer(uint8_t Type) {
    switch (Type) {
    case vaInt8:
        return int8_t(Byte());
    case vaInt16:
        return int16_t(Unsigned(2));
    case vaInt32:
        return int32_t(Unsigned(4));
    default:
        Invalid();
    }
}

void TFormText::Object(int Level) {
    if (++Depth > MaxDepth)
        Invalid();
    uint8_t Flags = 0;
    if ((Peek() & 0xF0) == 0xF0)
        Flags = Byte() & 0x0F;
    int64_t Position = 0;
    if (Flags & ffChildPos)
        Position = Integer(Byte());
    const std::string ClassName = ShortString();
    const std::string Name = ShortString();
    Out.append(size_t(2 * Level), ' ');
    Out += Flags & ffInherited ? "inherited " : "object ";
    if (!Name.empty())
        Out += Name + ": ";
    Out += ClassName;
    if (Flags & ffChildPos)
        Out += " [" + std::to_string(Position) + "]";
    Properties(Level + 1);
    Out += "\r\n";
    while (Peek() != 0)
        Object(Level + 1);
    ++P;
    Out.append(size_t(2 * Level), ' ');
    Out += "end\r\n";
    --Depth;
}

// "Name = value" lines until the closing 0 byte.
void TFormText::Properties(int Level) {
    while (Peek() != 0) {
        NewLine(Level);
        Out += ShortString() + " = ";
        Value(Level);
    }
    ++P;
}

void TFormText::Value(int Level) {
    if (++Depth > MaxDepth)
        Invalid();
    const uint8_t Type = Byte();
    switch (Type) {
    case vaNull:
        Out += "Null";
        break;
    case vaList:
        Out += "(";
        while (Peek() != 0) {
            NewLine(Level + 1);
            Value(Level + 1);
        }
        ++P;
        Out += ")";
        break;
    case vaInt8:
    case vaInt16:
    case vaInt32:
        Out += std::to_string(Integer(Type));
        break;
    case vaExtended: {
        const uint64_t Mantissa = Unsigned(8);
        const auto SignExp = uint16_t(Unsigned(2));
        const int Exp = SignExp & 0x7FFF;
        long double V;
        if (Exp == 0x7FFF)
            V = (Mantissa << 1) == 0 ? HUGE_VALL : NAN;
        else
            V = std::ldexp(static_cast<long double>(Mantissa), (Exp == 0 ? 1 : Exp) - 16383 - 63);
        Out += GeneralFloat(SignExp & 0x8000 ? -V : V);
        break;
    }
    case vaString:
    case vaLString: {
        const std::string S = Bytes(Type == vaString ? Byte() : size_t(Unsigned(4)));
        Text(std::vector<uint32_t>(reinterpret_cast<const uint8_t*>(S.data()),
                                   reinterpret_cast<const uint8_t*>(S.data()) + S.size()),
             false, Level);
        break;
    }
    case vaWString: {
        const auto Count = size_t(Unsigned(4));
        Need(Count * 2);
        std::vector<uint32_t> Chars(Count);
        for (uint32_t& C : Chars)
            C = uint32_t(Unsigned(2));
        Text(Chars, true, Level);
        break;
    }
    case vaIdent:
        Out += ShortString();
        break;
    case vaFalse:
        Out += "False";
        break;
    case vaTrue:
        Out += "True";
        break;
    case vaNil:
        Out += "nil";
        break;
    case vaBinary:
        Binary(Level);
        break;
    case vaSet:
        Out += "[";
        for (bool First = true;; First = false) {
            const std::string Element = ShortString();
            if (Element.empty())
                break;
            Out += (First ? "" : ", ") + Element;
        }
        Out += "]";
        break;
    case vaCollection:
        Collection(Level);
        break;
    case vaSingle: {
        const auto Bits = uint32_t(Unsigned(4));
        float F;
        std::memcpy(&F, &Bits, 4);
        Out += GeneralFloat(F) + "s";
        break;
    }
    case vaCurrency: {
        // Exact: the stored value is a count of ten-thousandths.
        const auto V = int64_t(Unsigned(8));
        const uint64_t Abs = V < 0 ? 0 - uint64_t(V) : uint64_t(V);
        std::string Frac = std::to_string(Abs % 10000 + 10000).substr(1);
        Frac.erase(Frac.find_last_not_of('0') + 1);
        Out += (V < 0 ? "-" : "") + std::to_string(Abs / 10000) + (Frac.empty() ? "" : "." + Frac) + "c";
        break;
    }
    case vaDate: {
        const uint64_t Bits = Unsigned(8);
        double D;
        std::memcpy(&D, &Bits, 8);
        Out += GeneralFloat(D) + "d";
        break;
    }
    default:
        Invalid();
    }
    --Depth;
}

// Quoted runs of printable characters, "#code" for the rest, in segments of 64 characters.
void TFormText::Text(const std::vector<uint32_t>& Chars, bool Wide, int Level) {
    if (Chars.empty()) {
        Out += "''";
        return;
    }
    if (Chars.size() > SegmentLength)
        NewLine(Level + 1);
    for (size_t Start = 0; Start < Chars.size(); Start += SegmentLength) {
        if (Start > 0) {
            Out += " +";
            NewLine(Level + 1);
        }
        bool Quoted = false;
        for (size_t I = Start; I < std::min(Chars.size(), Start + SegmentLength); ++I) {
            const uint32_t C = Chars[I];
            const bool Plain = C >= 32 && C != '\'' && (!Wide || C <= 255);
            if (Plain != Quoted) {
                Out += '\'';
                Quoted = Plain;
            }
            if (!Plain)
                Out += "#" + std::to_string(C);
            else if (Wide)
                AppendUtf8(Out, C);
            else
                Out += char(C);
        }
        if (Quoted)
            Out += '\'';
    }
}

void TFormText::Binary(int Level) {
    static const char Hex[] = "0123456789ABCDEF";
    const auto Count = size_t(Unsigned(4));
    Need(Count);
    Out += "{";
    for (size_t I = 0; I < Count; ++I) {
        if (Count >= BinaryBytesPerLine && I % BinaryBytesPerLine == 0)
            NewLine(Level + 1);
        Out += Hex[P[I] >> 4];
        Out += Hex[P[I] & 15];
    }
    P += Count;
    Out += "}";
}

void TFormText::Collection(int Level) {
    Out += "<";
    for (uint8_t Type = Byte(); Type != 0; Type = Byte()) {
        NewLine(Level + 1);
        Out += "item";
        if (Type != vaList) {
            Out += " [" + std::to_string(Integer(Type)) + "]";
            if (Byte() != vaList)
                Invalid();
        }
        Properties(Level + 2);
        NewLine(Level + 1);
        Out += "end";
    }
    Out += ">";
}

void Convert(TStream& Input, TStream& Output, bool Resource) {
    std::vector<uint8_t> Data(size_t(std::max<int64_t>(Input.Size() - Input.Position(), 0)));
    Input.ReadBuffer(Data.data(), int64_t(Data.size()));
    TFormText Form(Data.data(), Data.size());
    if (Resource)
        Form.ResourceHeader();
    Form.Signature();
    Form.Object(0);
    Output.WriteBuffer(Form.Out.data(), int64_t(Form.Out.size()));
}

} // namespace

void ObjectBinaryToText(TStream& Input, TStream& Output) {
    Convert(Input, Output, false);
}

void ObjectResourceToText(TStream& Input, TStream& Output) {
    Convert(Input, Output, true);
}
