// Inflate throughput against zlib's inflate on the same deflate streams: about 100 MB of C headers
// (text) and programs (binaries) from the system, one stream per file as in a zip archive, made by
// zlib at level 6. Usage: bench_InflateBench [MEGABYTES]
#include "archive/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <time.h>
#include <vector>

namespace {

struct TStream {
    std::string Deflated;
    size_t Size;
    uLong Crc;
};

std::vector<std::string> FilesUnder(const std::string& Root) {
    std::vector<std::string> Files;
    std::error_code Ec;
    for (auto It = std::filesystem::recursive_directory_iterator(
             Root, std::filesystem::directory_options::skip_permission_denied, Ec);
         !Ec && It != std::filesystem::recursive_directory_iterator(); It.increment(Ec))
        if (It->is_regular_file(Ec) && !It->is_symlink(Ec))
            Files.push_back(It->path().string());
    std::sort(Files.begin(), Files.end());
    return Files;
}

std::string Deflate(const std::string& Data) {
    z_stream Z{};
    deflateInit2(&Z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string Out(deflateBound(&Z, uLong(Data.size())), '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    Z.avail_in = uInt(Data.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = uInt(Out.size());
    if (deflate(&Z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    Out.resize(Z.total_out);
    deflateEnd(&Z);
    return Out;
}

void AddFiles(std::vector<TStream>& Streams, const std::string& Root, size_t Budget) {
    for (const auto& Path : FilesUnder(Root)) {
        std::ifstream F(Path, std::ios::binary);
        std::string Data((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
        if (Data.empty() || Data.size() > Budget)
            continue;
        Budget -= Data.size();
        Streams.push_back({Deflate(Data), Data.size(),
                           crc32(0, reinterpret_cast<const Bytef*>(Data.data()), uInt(Data.size()))});
        if (Budget < 4096)
            break;
    }
}

class TChunks : public TAbDecodeInput {
public:
    TChunks(const std::string& Data, size_t Chunk) : FData(Data), FChunk(Chunk) {}
    bool NextChunk(const uint8_t*& Data, size_t& Count) override {
        if (FPos == FData.size())
            return false;
        Data = reinterpret_cast<const uint8_t*>(FData.data()) + FPos;
        Count = std::min(FChunk, FData.size() - FPos);
        FPos += Count;
        return true;
    }

private:
    const std::string& FData;
    size_t FChunk, FPos = 0;
};

class TCrcSink : public TAbDecodeOutput {
public:
    void Write(const uint8_t* Data, size_t Count) override {
        Crc = crc32(Crc, Data, uInt(Count));
        Size += Count;
    }
    uLong Crc = 0;
    size_t Size = 0;
};

class TNullSink : public TAbDecodeOutput {
public:
    void Write(const uint8_t*, size_t Count) override { Size += Count; }
    size_t Size = 0;
};

// Processor time of this thread: the machine is shared, and waiting for a core is not decoding.
double Now() {
    timespec T;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) / 1e9;
}

double TimeOurs(const std::vector<TStream>& Streams, size_t Chunk) {
    const double Start = Now();
    for (const auto& S : Streams) {
        TChunks In(S.Deflated, Chunk);
        TNullSink Out;
        Inflate(In, Out);
    }
    return Now() - Start;
}

double TimeZlib(const std::vector<TStream>& Streams) {
    z_stream Z{};
    inflateInit2(&Z, -15);
    static unsigned char Buf[65536];
    const double Start = Now();
    for (const auto& S : Streams) {
        inflateReset(&Z);
        Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(S.Deflated.data()));
        Z.avail_in = uInt(S.Deflated.size());
        int Rc;
        do {
            Z.next_out = Buf;
            Z.avail_out = sizeof Buf;
            Rc = inflate(&Z, Z_NO_FLUSH);
        } while (Rc == Z_OK);
        if (Rc != Z_STREAM_END)
            throw std::runtime_error("zlib inflate failed");
    }
    const double T = Now() - Start;
    inflateEnd(&Z);
    return T;
}

} // namespace

int main(int Argc, char** Argv) {
    const size_t Megabytes = Argc > 1 ? size_t(std::atol(Argv[1])) : 100;
    std::vector<TStream> Streams;
    AddFiles(Streams, "/usr/include", Megabytes * 600000);
    AddFiles(Streams, "/usr/bin", Megabytes * 400000);
    size_t Total = 0, Packed = 0;
    for (const auto& S : Streams) {
        Total += S.Size;
        Packed += S.Deflated.size();
        TChunks In(S.Deflated, 4096);
        TCrcSink Out;
        Inflate(In, Out);
        if (Out.Size != S.Size || Out.Crc != S.Crc)
            throw std::runtime_error("Inflate gave different bytes");
    }
    std::printf("%zu streams, %.1f MB deflated to %.1f MB\n", Streams.size(), Total / 1e6, Packed / 1e6);

    double Ours = 1e9, Ours4K = 1e9, Zlib = 1e9;
    for (int Pass = 0; Pass < 3; ++Pass) {
        Ours = std::min(Ours, TimeOurs(Streams, SIZE_MAX));
        Ours4K = std::min(Ours4K, TimeOurs(Streams, 4096));
        Zlib = std::min(Zlib, TimeZlib(Streams));
    }
    const double MB = Total / 1e6;
    std::printf("Inflate, whole streams    %8.1f MB/s\n", MB / Ours);
    std::printf("Inflate, 4096-byte chunks %8.1f MB/s\n", MB / Ours4K);
    std::printf("zlib inflate              %8.1f MB/s\n", MB / Zlib);
    std::printf("ratio Inflate / zlib: %.2f (whole streams), %.2f (4096-byte chunks)\n", Zlib / Ours,
                Zlib / Ours4K);
}
