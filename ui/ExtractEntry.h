#pragma once
// One archive entry extracted into a folder for the desktop to use (display, launch, drop).

#include <string>

// Extracts the entry EntryName of the archive at ArchivePath (its name's case resolved on disk) into
// Folder under the entry's bare file name, replacing a file of that name. The entry of exactly that name
// is taken; failing that, the first whose bare name matches without regard to case. Returns the
// extracted file's path, or an empty string when nothing was extracted; Failure then holds why when the
// extraction failed rather than found no such entry. An archive that cannot be opened or read raises.
std::string ExtractEntryToFolder(const std::string& ArchivePath, const std::string& EntryName,
                                 const std::string& Folder, std::string& Failure);
