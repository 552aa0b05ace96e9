#pragma once
// Reader of the program's "STR0" string tables: magic, entry count, an index of (id, offset, length)
// sorted by id, then UTF-16LE texts without terminators.

#include "platform/Resources.h"
#include "platform/SysUtils.h"

#include <cstddef>
#include <string>

// A table cannot be opened or a string is missing while RaiseOnMissing is set.
class ETpsStringResourceError : public Exception {
public:
    using Exception::Exception;
};

class TAbStringResource {
public:
    // Opens the named table; an empty name opens nothing.
    explicit TAbStringResource(const std::string& ResourceName);
    TAbStringResource(const TAbStringResource&) = delete;
    TAbStringResource& operator=(const TAbStringResource&) = delete;

    void Open(const std::string& ResourceName);
    // The text (UTF-8) of Id; empty when missing, unless RaiseOnMissing.
    std::string GetString(int Id) const;
    // The text cut to fewer than MaxLen bytes on a character boundary, always zero-terminated.
    char* GetStringToBuffer(int Id, char* Buffer, size_t MaxLen) const;

    bool RaiseOnMissing = false;

private:
    // The UTF-16 text of Id; false when the table has no such entry.
    bool Find(int Id, const uint8_t*& Text, size_t& Units) const;

    TRawResource FTable;
};

// The two process-wide readers: the reader's own messages and the archive library's.
TAbStringResource& AbSrMgrStrings();
TAbStringResource& AbStrings();
