// Loading the directory of an archive with 100,000 entries, next to `unzip -Z1` listing it.
// Usage: bench_LoadDirectory [ARCHIVE]  (without one, bench/out/dir100k.zip is built first)

#include "archive/Abziptyp.h"
#include "platform/Files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Seconds(const std::chrono::steady_clock::time_point& Since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

double TimeCommand(const std::string& Command) {
    auto T = std::chrono::steady_clock::now();
    if (std::system(Command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", Command.c_str());
    return Seconds(T);
}

std::string BuildArchive() {
    std::string Folder = ExtractFilePath(__FILE__) + "out";
    std::string Out = Folder + "/dir100k.zip";
    if (FileExists(Out))
        return Out;
    std::system(("mkdir -p '" + Folder + "'").c_str());
    std::string Script = "import zipfile\n"
                         "z = zipfile.ZipFile('" +
                         Out +
                         "', 'w')\n"
                         "for i in range(100000):\n"
                         "    z.writestr('folder%03d/entry-%06d.txt' % (i // 1000, i), b'x' * (i % 50))\n"
                         "z.close()\n";
    std::system(("python3 -c \"" + Script + "\"").c_str());
    return Out;
}

} // namespace

int main(int argc, char** argv) {
    std::string Archive = argc > 1 ? argv[1] : BuildArchive();

    auto T = std::chrono::steady_clock::now();
    TAbZipArchive A(Archive, fmOpenRead);
    A.Load();
    double Load = Seconds(T);

    std::string Quoted = "'" + Archive + "'";
    double Cli = TimeCommand(ProgramFolder() + "/tarnlet-cli list --names " + Quoted + " >/dev/null");
    double Unzip = TimeCommand("unzip -Z1 " + Quoted + " >/dev/null");

    std::printf("archive: %s, %d entries\n", Archive.c_str(), A.Count());
    std::printf("TAbZipArchive::Load       %8.3f s\n", Load);
    std::printf("tarnlet-cli list --names  %8.3f s\n", Cli);
    std::printf("unzip -Z1                 %8.3f s\n", Unzip);
    std::printf("ratio unzip / Load: %.2f, unzip / tarnlet-cli: %.2f (above 1: faster than unzip)\n",
                Unzip / Load, Unzip / Cli);
    return 0;
}
