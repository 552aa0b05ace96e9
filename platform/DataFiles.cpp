// The program's shipped files and where it may write its own.

#include "platform/DataFiles.h"

#include "platform/Files.h"

std::string InstalledDataFolder(const std::string& ProgramDir) {
    return JoinPath(ProgramDir, TARNLET_DATA_FROM_BIN);
}

std::string DataFilePath(const std::string& ProgramDir, const std::string& Name) {
    const std::string Beside = JoinPath(ProgramDir, Name);
    if (FileExists(Beside))
        return Beside;
    const std::string Installed = JoinPath(InstalledDataFolder(ProgramDir), Name);
    return FileExists(Installed) ? Installed : Beside;
}

std::string DataFilePath(const std::string& Name) {
    return DataFilePath(ProgramFolder(), Name);
}

bool WritesBesideProgram(const std::string& ProgramDir) {
    return !DirExists(InstalledDataFolder(ProgramDir)) && FolderWritable(ProgramDir);
}

bool WritesBesideProgram() {
    return WritesBesideProgram(ProgramFolder());
}
