#pragma once
// The files the program ships (help file) and whether it may keep its own files beside itself.
//
// A built or unpacked copy carries its data beside the program. An installed copy finds it in the
// installed data folder, which lies at a fixed place relative to the program's folder (../share/tarnlet
// for bin/tarnlet), so a package installed under any prefix finds it.

#include <string>

// The installed data folder of a program in ProgramDir.
std::string InstalledDataFolder(const std::string& ProgramDir);

// Name beside the program when it is there, else in the installed data folder when it is there; else
// the path beside the program, so a message about the missing file names where it was looked for first.
std::string DataFilePath(const std::string& ProgramDir, const std::string& Name);
std::string DataFilePath(const std::string& Name);

// True when the program may write its settings and temporary files beside itself: its folder is writable
// and it is not an installed copy. An installed copy never writes into the system's program folder, not
// even when run by a user who could.
bool WritesBesideProgram(const std::string& ProgramDir);
bool WritesBesideProgram();
