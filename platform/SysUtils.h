#pragma once
// Base exceptions and message formatting shared by every layer.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

// Root of every failure the program raises.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Msg) : std::runtime_error(Msg) {}
};

// An operating-system input/output failure: what was being done, to which path, and the system's reason
// (ErrorCode, the errno value). The message reads "Cannot <operation> "<path>". <reason>".
class EInOutError : public Exception {
public:
    EInOutError(const std::string& AOperation, const std::string& APath, int Code);
    std::string Operation;
    std::string Path; // empty when the failing handle has no name
    int ErrorCode;
};

// Stream failures, arranged as the archive library classifies them.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

// A format string and its arguments do not fit together.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// One argument of Format.
class TFormatArg {
public:
    TFormatArg(int V) : FValue(int64_t(V)) {}
    TFormatArg(long V) : FValue(int64_t(V)) {}
    TFormatArg(long long V) : FValue(int64_t(V)) {}
    TFormatArg(unsigned V) : FValue(uint64_t(V)) {}
    TFormatArg(unsigned long V) : FValue(uint64_t(V)) {}
    TFormatArg(unsigned long long V) : FValue(uint64_t(V)) {}
    TFormatArg(double V) : FValue(V) {}
    TFormatArg(const char* V) : FValue(std::string(V ? V : "")) {}
    TFormatArg(std::string V) : FValue(std::move(V)) {}
    const std::variant<int64_t, uint64_t, double, std::string>& Value() const { return FValue; }

private:
    std::variant<int64_t, uint64_t, double, std::string> FValue;
};

// printf-like formatting with the program's rules: %d (signed or unsigned integers), %u, %x (upper-case
// hexadecimal), %s, %f (two decimals unless a precision is given), %%; flags "-", width and precision.
// A missing argument or one of the wrong kind raises EConvertError.
std::string Format(const std::string& Fmt, std::initializer_list<TFormatArg> Args = {});

// The text of an errno value.
std::string SysErrorMessage(int Code);

// This process's id.
int CurrentProcessId();

// Folds "a" to "z" to upper case and leaves every other byte alone.
inline unsigned char UpCaseAscii(unsigned char C) {
    return C >= 'a' && C <= 'z' ? C - ('a' - 'A') : C;
}
std::string UpperCaseAscii(std::string S);
bool SameTextAscii(const std::string& A, const std::string& B);

// The pieces of a mask list: one per ";" (empty ones too), then the rest when it is not empty.
std::vector<std::string> SplitAtSemicolons(const std::string& Text);
