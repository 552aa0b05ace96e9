#pragma once
// Code pages: names stored in zip records are CP437 ("OEM") unless flagged UTF-8; the program's own
// strings ("ANSI") are UTF-8.

#include <cstdint>
#include <string>

std::string OemToAnsi(const std::string& Oem);
// CP437 bytes for S when every character fits; otherwise false and Oem is left unchanged.
bool AnsiToOem(const std::string& Ansi, std::string& Oem);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& Out, uint32_t CodePoint);
// Decodes the UTF-8 sequence at S[I] and moves I past it. A malformed one (a stray or missing continuation
// byte, an overlong form, a surrogate, a code point beyond U+10FFFF) gives false, with CodePoint the
// first byte and I moved past that byte alone.
bool DecodeUtf8(const std::string& S, size_t& I, uint32_t& CodePoint);
// Whether all of S is well-formed UTF-8.
bool IsUtf8(const std::string& S);
