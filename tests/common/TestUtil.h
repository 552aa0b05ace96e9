#pragma once
// Helpers shared by the test programs.

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// Folder of the real archives made by other programs (read-only).
std::string FixturesDir();
// Folder of the built programs (tarnlet-cli).
std::string BinDir();

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

// Runs a shell command; returns its exit status and (when Output is given) what it printed on stdout.
int Run(const std::string& Command, std::string* Output = nullptr);
// Quotes S for the shell.
std::string Quote(const std::string& S);

std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::string& Data);
// CRC-32 of the zip format, computed bit by bit (a reference independent of the program's tables).
uint32_t Crc32(const std::string& Data);
// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t Count, unsigned Seed);

} // namespace testutil
