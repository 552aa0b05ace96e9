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
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>
#include <zlib.h>

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
    while (!Done()) {
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
        CheckSynchronize(std::chrono::milliseconds(5));
    }
    return true;
}

void SetFileTime(const std::string& Path, long long UnixTime) {
    struct timespec Times[2];
    Times[0].tv_sec = Times[1].tv_sec = time_t(UnixTime);
    Times[0].tv_nsec = Times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, Path.c_str(), Times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + Path);
}

std::vector<TLocalEntry> ReadLocalEntries(const std::string& ZipPath) {
    const std::string Zip = ReadFile(ZipPath);
    auto Get = [&](size_t At, unsigned Width) {
        if (At + Width > Zip.size())
            throw std::runtime_error("truncated zip " + ZipPath);
        uint64_t V = 0;
        for (unsigned I = 0; I < Width; ++I)
            V |= uint64_t(uint8_t(Zip[At + I])) << (8 * I);
        return V;
    };
    std::vector<TLocalEntry> Entries;
    size_t Pos = 0;
    while (Pos + 4 <= Zip.size() && Get(Pos, 4) == 0x04034B50) {
        TLocalEntry E;
        E.Flags = unsigned(Get(Pos + 6, 2));
        E.Method = unsigned(Get(Pos + 8, 2));
        E.Crc = uint32_t(Get(Pos + 14, 4));
        const uint64_t CompressedSize = Get(Pos + 18, 4);
        E.UncompressedSize = Get(Pos + 22, 4);
        const size_t NameLength = Get(Pos + 26, 2);
        const size_t ExtraLength = Get(Pos + 28, 2);
        const size_t DataAt = Pos + 30 + NameLength + ExtraLength;
        if (DataAt + CompressedSize > Zip.size())
            throw std::runtime_error("truncated zip " + ZipPath);
        E.Name = Zip.substr(Pos + 30, NameLength);
        E.Data = Zip.substr(DataAt, CompressedSize);
        Entries.push_back(std::move(E));
        Pos = DataAt + CompressedSize;
    }
    return Entries;
}

void TLsbBitWriter::Put(uint32_t Value, unsigned Count) {
    for (unsigned I = 0; I < Count; ++I, ++FBitCount) {
        if (FBitCount % 8 == 0)
            FBytes.push_back('\0');
        if (Value >> I & 1)
            FBytes.back() = char(uint8_t(FBytes.back()) | 1u << (FBitCount % 8));
    }
}

std::string TLsbBitWriter::Bytes() const {
    return FBytes;
}

} // namespace testutil
