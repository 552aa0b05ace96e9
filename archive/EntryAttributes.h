#pragma once
// What an entry says about the file it becomes beyond its bytes: whether its method can be decoded, its
// modification time, its permissions, and whether it is a symbolic link.

#include "archive/Abziptyp.h"

#include <cstdint>
#include <string>

// Raises EAbZipInvalidMethod naming the method when the entry's method is not one we decode.
void CheckMethodDecoded(const TAbZipItem& Item);

// Seconds since 1970 (UTC): the extended timestamp's modification time when the entry carries one, else
// its DOS date and time taken as local time.
int64_t EntryUnixTime(const TAbZipItem& Item);

// The permission bits (0777) an entry made on a Unix host states, without set-user-ID, set-group-ID and
// sticky bits; 0 when it states none.
uint32_t EntryUnixMode(const TAbZipItem& Item);

// An entry made on a Unix host whose file type is a symbolic link; its data is the link's target.
bool IsSymbolicLinkEntry(const TAbZipItem& Item);

// Gives an extracted file or folder the time and, limited by the umask, the permissions Mode (none when 0).
void StampPath(const std::string& Path, uint32_t Mode, int64_t Time);

// Target when a link at LinkPath (below Base, whose folder exists) holding it leads to a place inside Base
// without passing through anything outside; raises EAbLinkOutside otherwise.
void CheckLinkInside(const std::string& Base, const std::string& LinkPath, const std::string& Target);
