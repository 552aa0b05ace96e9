// Throughput of the shrink, reduce and implode decoders on the entries the DOS zip programs made, next to
// our Inflate on the same files deflated. Usage: bench_LegacyBench
#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "common/TestUtil.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <time.h>
#include <vector>

using testutil::TLocalEntry;

namespace {

class TCountingSink : public TAbDecodeOutput {
public:
    void Write(const uint8_t*, size_t Count) override { Size += Count; }
    uint64_t Size = 0;
};

uint64_t DecodeEntry(const TLocalEntry& E) {
    testutil::TDecodeSource In(E.Data, {4096});
    TCountingSink Out;
    if (E.Method == 1)
        Unshrink(In, Out);
    else if (E.Method >= 2 && E.Method <= 5)
        Unreduce(In, Out, E.UncompressedSize, int(E.Method) - 1);
    else if (E.Method == 6)
        Explode(In, Out, E.UncompressedSize, E.Flags & 2 ? 2 : 1, E.Flags & 4 ? 3 : 2);
    else
        Inflate(In, Out);
    if (Out.Size != E.UncompressedSize)
        throw std::runtime_error("wrong size for " + E.Name);
    return Out.Size;
}

// Processor time of this thread: the machine is shared, and waiting for a core is not decoding.
double Now() {
    timespec T;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) / 1e9;
}

// MB/s over every entry of the archives with one of the methods, best of five passes.
double Throughput(const std::vector<std::string>& Archives, unsigned FirstMethod, unsigned LastMethod) {
    std::vector<TLocalEntry> Entries;
    for (const auto& A : Archives)
        for (auto& E : testutil::ReadLocalEntries(testutil::FixturesDir() + "/pkzip/" + A))
            if (E.Method >= FirstMethod && E.Method <= LastMethod)
                Entries.push_back(std::move(E));
    double Best = 1e9;
    uint64_t Bytes = 0;
    for (int Pass = 0; Pass < 5; ++Pass) {
        Bytes = 0;
        const double Start = Now();
        for (const auto& E : Entries)
            Bytes += DecodeEntry(E);
        Best = std::min(Best, Now() - Start);
    }
    return double(Bytes) / 1e6 / Best;
}

} // namespace

int main() {
    const double Shrunk = Throughput({"PKZ110ES.ZIP"}, 1, 1);
    const double Reduced = Throughput({"PKZ80B1.ZIP", "PKZ80B2.ZIP", "PKZ80B3.ZIP", "PKZ80B4.ZIP"}, 2, 5);
    const double Imploded = Throughput({"PKZ110EI.ZIP"}, 6, 6);
    const double Deflated = Throughput({"PKZ204EN.ZIP"}, 8, 8);
    std::printf("Unshrink  (PKZ110ES)     %8.1f MB/s\n", Shrunk);
    std::printf("Unreduce  (PKZ80B1-4)    %8.1f MB/s\n", Reduced);
    std::printf("Explode   (PKZ110EI)     %8.1f MB/s\n", Imploded);
    std::printf("Inflate   (PKZ204EN)     %8.1f MB/s\n", Deflated);
    std::printf("ratio to Inflate: Unshrink %.2f, Unreduce %.2f, Explode %.2f\n", Shrunk / Deflated,
                Reduced / Deflated, Imploded / Deflated);
}
