#include "TestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <vector>

namespace testutil {

std::string FixturesDir() {
    return TARNLET_FIXTURES_DIR;
}

std::string BinDir() {
    return TARNLET_BIN_DIR;
}

TScratchDir::TScratchDir() {
    const char* T = std::getenv("TMPDIR");
    std::string Template = std::string(T && *T ? T : "/tmp") + "/tarnlet-test-XXXXXX";
    std::vector<char> Buf(Template.begin(), Template.end());
    Buf.push_back('\0');
    if (!mkdtemp(Buf.data()))
        throw std::runtime_error("cannot create scratch folder");
    FPath = Buf.data();
}

TScratchDir::~TScratchDir() {
    std::error_code Ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 Ec);
    for (auto& E : std::filesystem::recursive_directory_iterator(FPath, Ec))
        if (E.is_directory(Ec))
            std::filesystem::permissions(E.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, Ec);
    std::filesystem::remove_all(FPath, Ec);
}

int Run(const std::string& Command, std::string* Output) {
    FILE* P = popen(Command.c_str(), "r");
    if (!P)
        return -1;
    std::string Out;
    char Buf[65536];
    size_t N;
    while ((N = fread(Buf, 1, sizeof Buf, P)) > 0)
        Out.append(Buf, N);
    int Status = pclose(P);
    if (Output)
        *Output = std::move(Out);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::string Quote(const std::string& S) {
    std::string Q = "'";
    for (char C : S)
        Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Q + "'";
}

std::string ReadFile(const std::string& Path) {
    std::ifstream F(Path, std::ios::binary);
    if (!F)
        throw std::runtime_error("cannot read " + Path);
    std::ostringstream S;
    S << F.rdbuf();
    return S.str();
}

void WriteFile(const std::string& Path, const std::string& Data) {
    std::ofstream F(Path, std::ios::binary | std::ios::trunc);
    if (!F)
        throw std::runtime_error("cannot write " + Path);
    F.write(Data.data(), std::streamsize(Data.size()));
}

uint32_t Crc32(const std::string& Data) {
    uint32_t Crc = 0xFFFFFFFF;
    for (unsigned char C : Data) {
        Crc ^= C;
        for (int K = 0; K < 8; ++K)
            Crc = Crc & 1 ? 0xEDB88320u ^ (Crc >> 1) : Crc >> 1;
    }
    return ~Crc;
}

std::string RandomBytes(size_t Count, unsigned Seed) {
    std::mt19937 Gen(Seed);
    std::string S(Count, '\0');
    for (char& C : S)
        C = char(Gen() & 0xFF);
    return S;
}

} // namespace testutil
