#include "TestUtil.h"

#include "platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

namespace testutil {

namespace fs = std::filesystem;

std::string FixturesDir() {
    return TARNLET_FIXTURES_DIR;
}

std::string Pkzip(const std::string& Name) {
    return FixturesDir() + "/pkzip/" + Name;
}

std::string BinDir() {
    return TARNLET_BIN_DIR;
}

TScratchDir::TScratchDir() {
    const char* T = std::getenv("TMPDIR");
    FPath = std::string(T && *T ? T : "/tmp") + "/tarnlet-test-XXXXXX";
    if (!mkdtemp(FPath.data()))
        throw std::runtime_error("cannot create scratch folder");
}

TScratchDir::~TScratchDir() {
    std::error_code Ec;
    for (auto& E : fs::recursive_directory_iterator(FPath, Ec))
        if (E.is_directory(Ec))
            fs::permissions(E.path(), fs::perms::owner_all, fs::perm_options::add, Ec);
    fs::remove_all(FPath, Ec);
}

TEnvSetting::TEnvSetting(const char* Name, const std::string& Value)
    : FName(Name), FOld(std::getenv(Name) ? std::getenv(Name) : ""), FHadOld(std::getenv(Name) != nullptr) {
    setenv(Name, Value.c_str(), 1);
}

TEnvSetting::~TEnvSetting() {
    FHadOld ? setenv(FName.c_str(), FOld.c_str(), 1) : unsetenv(FName.c_str());
}

int Run(const std::string& Command, std::string* Output, std::string* Errors) {
    std::optional<TScratchDir> Err;
    if (Errors)
        Err.emplace();
    FILE* P = popen((Err ? "{ " + Command + "\n} 2>" + Quote(*Err / "err") : Command).c_str(), "r");
    if (!P)
        return -1;
    std::string Out;
    char Buf[65536];
    for (size_t N; (N = fread(Buf, 1, sizeof Buf, P)) > 0;)
        Out.append(Buf, N);
    const int Status = pclose(P);
    if (Output)
        *Output = std::move(Out);
    if (Errors)
        *Errors = ReadFile(*Err / "err");
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

int Cli(const std::string& Args, std::string* Output, std::string* Errors) {
    return Run(Quote(BinDir() + "/tarnlet-cli") + " " + Args, Output, Errors);
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
    return std::string(std::istreambuf_iterator<char>(F), {});
}

void WriteFile(const std::string& Path, const std::string& Data) {
    fs::create_directories(fs::path(Path).parent_path());
    std::ofstream F(Path, std::ios::binary | std::ios::trunc);
    if (!F)
        throw std::runtime_error("cannot write " + Path);
    F.write(Data.data(), std::streamsize(Data.size()));
}

uint32_t Crc32(const std::string& Data) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Data.data()), uInt(Data.size())));
}

uint64_t GetLe(const std::string& Bytes, size_t At, int Width) {
    if (At + size_t(Width) > Bytes.size())
        throw std::runtime_error("field past the end");
    uint64_t V = 0;
    for (int I = Width - 1; I >= 0; --I)
        V = V << 8 | uint8_t(Bytes[At + size_t(I)]);
    return V;
}

void SetLe(std::string& Bytes, size_t At, uint64_t Value, int Width) {
    Bytes.replace(At, size_t(Width), Le(Value, Width));
}

std::string Le(uint64_t Value, int Width) {
    std::string S;
    for (int I = 0; I < Width; ++I)
        S += char(Value >> (8 * I));
    return S;
}

std::string MakeZip(const std::string& Zip, const TFiles& Files, const std::string& Options) {
    TScratchDir Src;
    std::string Names;
    for (const auto& [Name, Data] : Files) {
        WriteFile(Src / Name, Data);
        Names += " " + Quote(Name);
    }
    fs::create_directories(fs::path(Zip).parent_path());
    if (Run("cd " + Quote(Src.Path()) + " && zip -q -X " + Options + " " + Quote(Zip) + Names) != 0)
        throw std::runtime_error("zip failed for " + Zip);
    return Zip;
}

void PythonZip(const std::string& Zip, const std::string& Body) {
    const std::string Script =
        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n" + Body + "\nz.close()\n";
    if (Run("python3 -c " + Quote(Script) + " " + Quote(Zip)) != 0)
        throw std::runtime_error("python failed for " + Zip);
}

std::string RandomBytes(size_t Count, unsigned Seed) {
    std::mt19937 Gen(Seed);
    std::string S(Count, '\0');
    for (char& C : S)
        C = char(Gen() & 0xFF);
    return S;
}

std::string RawDeflate(const std::string& Data, int Level, int Strategy) {
    z_stream Z{};
    if (deflateInit2(&Z, Level, Z_DEFLATED, -15, 9, Strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    Z.avail_in = uInt(Data.size());
    std::string Out;
    int Rc = Z_OK;
    while (Rc == Z_OK || Rc == Z_BUF_ERROR) {
        char Buf[65536];
        Z.next_out = reinterpret_cast<Bytef*>(Buf);
        Z.avail_out = sizeof Buf;
        Rc = deflate(&Z, Z_FINISH);
        Out.append(Buf, sizeof Buf - Z.avail_out);
    }
    deflateEnd(&Z);
    if (Rc != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return Out;
}

std::string SampleText(size_t Count, unsigned Seed) {
    static const char* const Words[] = {"the",     "archive", "entry",  "window", "block", "of",
                                        "deflate", "and",     "search", "string", "zip",   "folder",
                                        "to",      "a",       "file",   "with",   "data",  "Tarnlet"};
    std::mt19937 Gen(Seed);
    std::string S;
    while (S.size() < Count) {
        S += Words[Gen() % (sizeof Words / sizeof *Words)];
        S += Gen() % 11 == 0 ? "\n" : " ";
        if (Gen() % 97 == 0)
            S += std::to_string(Gen());
    }
    S.resize(Count);
    return S;
}

TDecodeSource::TDecodeSource(std::string Data, std::vector<size_t> ChunkSizes)
    : FData(std::move(Data)), FSizes(std::move(ChunkSizes)) {}

bool TDecodeSource::NextChunk(const uint8_t*& Data, size_t& Count) {
    FChunk.reset();
    if (FPos == FData.size()) {
        AskedPastEnd = true;
        return false;
    }
    size_t N = FSizes.empty() ? FData.size() : FSizes[FCall++ % FSizes.size()];
    N = std::min(N, FData.size() - FPos);
    FChunk = std::make_unique<uint8_t[]>(N);
    std::memcpy(FChunk.get(), FData.data() + FPos, N);
    FPos += N;
    Data = FChunk.get();
    Count = N;
    return true;
}

void TDecodeSink::Write(const uint8_t* Data, size_t Count) {
    Bytes.append(reinterpret_cast<const char*>(Data), Count);
}

bool DrainSynchronize(const std::function<bool()>& Done, int TimeoutMs) {
    auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (; !Done(); CheckSynchronize(std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
    return true;
}

void SetFileTime(const std::string& Path, long long UnixTime) {
    const timespec Times[2] = {{time_t(UnixTime), 0}, {time_t(UnixTime), 0}};
    if (utimensat(AT_FDCWD, Path.c_str(), Times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + Path);
}

std::vector<TLocalEntry> ReadLocalEntries(const std::string& ZipPath) {
    const std::string Zip = ReadFile(ZipPath);
    std::vector<TLocalEntry> Entries;
    size_t Pos = 0;
    while (Pos + 4 <= Zip.size() && GetLe(Zip, Pos, 4) == 0x04034B50) {
        TLocalEntry E;
        E.Flags = unsigned(GetLe(Zip, Pos + 6, 2));
        E.Method = unsigned(GetLe(Zip, Pos + 8, 2));
        E.Crc = uint32_t(GetLe(Zip, Pos + 14, 4));
        const size_t CompressedSize = GetLe(Zip, Pos + 18, 4);
        E.UncompressedSize = GetLe(Zip, Pos + 22, 4);
        const size_t NameLength = GetLe(Zip, Pos + 26, 2);
        const size_t DataAt = Pos + 30 + NameLength + GetLe(Zip, Pos + 28, 2);
        if (DataAt + CompressedSize > Zip.size())
            throw std::runtime_error("truncated zip " + ZipPath);
        E.Name = Zip.substr(Pos + 30, NameLength);
        E.Data = Zip.substr(DataAt, CompressedSize);
        Entries.push_back(std::move(E));
        Pos = DataAt + CompressedSize;
    }
    return Entries;
}

const std::map<std::string, std::string>& DosOriginals() {
    static const std::map<std::string, std::string> Files = [] {
        std::map<std::string, std::string> M;
        for (auto& E : ReadLocalEntries(Pkzip("PKZ204E0.ZIP")))
            M[E.Name] = E.Data;
        return M;
    }();
    return Files;
}

TLsbBitWriter& TLsbBitWriter::Put(uint32_t Value, unsigned Count) {
    for (unsigned I = 0; I < Count; ++I, ++FBitCount) {
        if (FBitCount % 8 == 0)
            FBytes.push_back('\0');
        if (Value >> I & 1)
            FBytes.back() = char(uint8_t(FBytes.back()) | 1u << (FBitCount % 8));
    }
    return *this;
}

TLsbBitWriter& TLsbBitWriter::Code(uint32_t Code, unsigned Length) {
    for (unsigned I = Length; I-- > 0;)
        Put(Code >> I & 1, 1);
    return *this;
}

} // namespace testutil
