#pragma once
// Files and folders: existence, names, the program's and the temporary folder, case-insensitive lookup.

#include <cstdint>
#include <string>

bool FileExists(const std::string& Path);     // a regular file (links followed)
bool DirExists(const std::string& Path);      // a folder (links followed)
bool DeleteFile(const std::string& Path);     // true when the file is gone afterwards
int64_t FileSizeOf(const std::string& Path);  // -1 when it cannot be read
bool FolderWritable(const std::string& Path); // files can be created there
bool PathExists(const std::string& Path);     // anything by that name; a link is not followed
// Makes one folder; raises EInOutError with the system's reason.
void CreateDir(const std::string& Path);
bool RemoveDir(const std::string& Path); // an empty folder; true when it is gone
// Sets the access and modification times (seconds since 1970, UTC); a link itself when NoFollow. False on
// failure.
bool FileSetTime(const std::string& Path, int64_t UnixTime, bool NoFollow = false);
// Sets the permission bits (07777); false on failure.
bool FileSetMode(const std::string& Path, uint32_t Mode);
// The permission bits new files do not get.
uint32_t CurrentUmask();
// Makes a symbolic link Path holding Target; raises EInOutError with the system's reason.
void CreateSymbolicLink(const std::string& Target, const std::string& Path);
// Path with every link and "." and ".." resolved; empty when it cannot be.
std::string RealPath(const std::string& Path);
// Both names lead to the same file (links followed); false when either cannot be read.
bool SameFile(const std::string& A, const std::string& B);

// Path pieces with "/" as the separator. ExtractFilePath keeps the final "/".
std::string ExtractFilePath(const std::string& Path);
std::string ExtractFileName(const std::string& Path);
std::string ExtractFileExt(const std::string& Path); // with its dot, or empty
std::string IncludeTrailingSlash(const std::string& Path);
std::string ExcludeTrailingSlash(const std::string& Path);
// Folder and name joined: concatenated when the folder ends in "/", one "/" between otherwise, the name
// alone for an empty folder.
std::string JoinPath(const std::string& Folder, const std::string& Name);

// The folder of the running program, without a final "/".
std::string ProgramFolder();
// $TMPDIR, else /tmp, without a final "/".
std::string TempFolder();
// The user's own folder inside TempFolder(): "tarnlet-UID", created with mode 0700 when missing, so other
// users can neither read what the program puts there nor plant files or links under the names it uses.
// Raises EInOutError when the name is taken by a link, by something that is not a folder or by a folder
// of another user.
std::string PrivateTempFolder();
// Creates an empty file with a unique name starting with Prefix in Folder and returns its path; empty on
// failure.
std::string CreateUniqueTempFile(const std::string& Folder, const std::string& Prefix);
// Creates a folder only the user may enter, with a unique name starting with Prefix in Folder, and returns
// its path; raises EInOutError with the system's reason.
std::string CreateUniqueTempFolder(const std::string& Folder, const std::string& Prefix);

// Creates an empty file with a unique hidden name beside FileName, in its folder, for what is to replace
// it; raises EInOutError with the system's reason.
std::string CreateTempFileBeside(const std::string& FileName);
// Puts NewFile in the place of Target in one step, with Target's permissions, once its data is on disk;
// EWriteError when it cannot (both files are then as they were).
void ReplaceFile(const std::string& NewFile, const std::string& Target);
// Writes Data as the file FileName through a temporary file beside it that then replaces it: a full
// disk or a crash never leaves a cut file, and on failure the old file is as it was. Raises EWriteError
// (or EInOutError) with the reason.
void WriteFileSafely(const std::string& FileName, const std::string& Data);

// Path itself when it exists; otherwise each missing component is looked up without regard to case.
// The best path found is returned (unchanged components where nothing fits).
std::string ResolvePathCase(const std::string& Path);
