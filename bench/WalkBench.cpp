// The directory walk against find: 100,000 files in 10,000 folders (made once in bench/out/walk, or in
// DIR), 10 files per folder of which one *.zip and one *.EXE. Both walks report the files matching
// "*.zip;*.exe" without regard to case; the walk hands every folder and every file to the main thread
// as the window would get them. Caches are warmed by one untimed pass of each.
// Usage: bench_WalkBench [DIR]
#include "engine/SeekU.h"
#include "platform/Files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const int TopFolders = 100, SubFolders = 100, FilesPerFolder = 10;
const char* const Names[FilesPerFolder] = {"data.zip",  "SETUP.EXE", "readme.txt", "main.c",   "notes.doc",
                                           "image.png", "lib.so",    "Makefile",   "zipper.h", "exe.txt"};

void MakeTree(const std::string& Root) {
    if (DirExists(JoinPath(Root, "099/099")))
        return;
    std::printf("making %d files in %d folders under %s\n", TopFolders * SubFolders * FilesPerFolder,
                TopFolders * SubFolders, Root.c_str());
    std::string Cmd = "mkdir -p '" + Root + "'";
    if (std::system(Cmd.c_str()) != 0)
        std::exit(1);
    for (int T = 0; T < TopFolders; ++T) {
        char Top[16];
        std::snprintf(Top, sizeof Top, "%03d", T);
        std::string TopPath = JoinPath(Root, Top);
        mkdir(TopPath.c_str(), 0755);
        for (int S = 0; S < SubFolders; ++S) {
            char Sub[16];
            std::snprintf(Sub, sizeof Sub, "%03d", S);
            std::string Folder = JoinPath(TopPath, Sub);
            mkdir(Folder.c_str(), 0755);
            for (const char* Name : Names)
                std::ofstream(JoinPath(Folder, Name)) << Name;
        }
    }
}

double Seconds(std::chrono::steady_clock::time_point Since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

// Processor time (user and system) of this process's threads or of its finished children.
double CpuSeconds(int Who) {
    rusage U;
    getrusage(Who, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

struct TResult {
    long Files;
    double Wall, Cpu;
};

TResult TimeSeeker(const std::string& Root) {
    TSeeker Seeker;
    Seeker.SetScanScope(ssSpecifiedDir);
    Seeker.SetDirectory(Root);
    Seeker.SetFiles("*.zip;*.exe");
    Seeker.SetPriority(tpNormal);
    long Files = 0, Folders = 0;
    Seeker.OnFileFound = [&](const std::string&, const std::string&, int32_t, int64_t, int32_t, TDateTime) {
        ++Files;
    };
    Seeker.OnProcess = [&](uint32_t, uint64_t, uint32_t, uint32_t, const std::string&, uint64_t, uint64_t) {
        ++Folders;
    };
    double Cpu = CpuSeconds(RUSAGE_SELF);
    auto Start = std::chrono::steady_clock::now();
    Seeker.Start();
    while (Seeker.Running())
        CheckSynchronize(std::chrono::milliseconds(100));
    return {Files, Seconds(Start), CpuSeconds(RUSAGE_SELF) - Cpu};
}

TResult TimeFind(const std::string& Root) {
    std::string Cmd = "find '" + Root + "' -iname '*.zip' -o -iname '*.exe'";
    double Cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto Start = std::chrono::steady_clock::now();
    FILE* P = popen(Cmd.c_str(), "r");
    long Lines = 0;
    char Buf[65536];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0)
        for (size_t I = 0; I < N; ++I)
            Lines += Buf[I] == '\n';
    pclose(P);
    return {Lines, Seconds(Start), CpuSeconds(RUSAGE_CHILDREN) - Cpu};
}

} // namespace

int main(int argc, char** argv) {
    std::string Root = argc > 1 ? argv[1] : "bench/out/walk";
    MakeTree(Root);
    TimeSeeker(Root);
    TimeFind(Root);
    TResult Ours = TimeSeeker(Root);
    TResult Find = TimeFind(Root);
    const double Total = TopFolders * SubFolders * FilesPerFolder;
    auto Show = [&](const char* Name, const TResult& R) {
        std::printf("%s: %ld files reported; %.3f s, %.0f files/s walked; processor %.3f s\n", Name, R.Files,
                    R.Wall, Total / R.Wall, R.Cpu);
    };
    Show("walk", Ours);
    Show("find", Find);
    std::printf("walk speed / find speed: %.2f (processor time: %.2f)\n", Find.Wall / Ours.Wall,
                Find.Cpu / Ours.Cpu);
    return Ours.Files == Find.Files ? 0 : 1;
}
