#pragma once
// Sectioned key/value settings files ("[Section]" lines followed by "key=value" lines). The file is read
// whole when the object is made, changed in memory and written back by UpdateFile through a temporary
// file renamed over it, so an interrupted write never leaves a cut file behind.

#include "platform/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A settings file could not be written; ErrorCode is the errno value.
class EIniWriteError : public Exception {
public:
    EIniWriteError(const std::string& FileName, int Code);
    int ErrorCode;
};

class TIniFile {
public:
    // Values are cut to this many bytes when read (never inside a UTF-8 character).
    static constexpr size_t MaxValueBytes = 2047;
    // A section's key names are listed while they fit, each with a terminating byte and one more at the end.
    static constexpr size_t KeyListBytes = 16384;

    // A missing or unreadable file reads as empty; lines that make no sense are kept but carry no key.
    explicit TIniFile(std::string FileName);

    const std::string& FileName() const { return FFileName; }

    // Section and key names are compared without regard to the case of "a" to "z".
    // Key and value of every listed key line of the section, in file order.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(const std::string& Section) const;
    std::string ReadString(const std::string& Section, const std::string& Key,
                           const std::string& Default) const;
    // Decimal, or hexadecimal after "0x"; Default when the key is missing or its value is not a number.
    int64_t ReadInteger(const std::string& Section, const std::string& Key, int64_t Default) const;
    bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;

    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
    void WriteBool(const std::string& Section, const std::string& Key, bool Value);
    void EraseSection(const std::string& Section);

    // Writes the file, creating its folder when missing. Raises EIniWriteError and leaves the old file as it
    // was when anything fails.
    void UpdateFile() const;

private:
    struct TLine {
        std::string Text;  // the line as read, for lines without a key
        std::string Key;   // empty for lines without one
        std::string Value; // as read back (unquoted)
        bool HasKey = false;
    };
    struct TSection {
        std::string Name;
        std::vector<TLine> Lines;
    };

    const TSection* Find(const std::string& Section) const;
    const TLine* FindKey(const std::string& Section, const std::string& Key) const;

    std::string FFileName;
    std::vector<TLine> FHead; // lines ahead of the first section
    std::vector<TSection> FSections;
};

// Where the program keeps its settings: ProgramPath with the extension of its file name replaced by
// ".INI", beside the program when it may write there (DataFiles.h), else under $XDG_CONFIG_HOME/tarnlet/ (by
// default ~/.config/tarnlet/) with the same file name.
std::string SettingsFileName(const std::string& ProgramPath);
