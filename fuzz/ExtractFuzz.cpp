// Loading an archive from arbitrary bytes and extracting every entry, with paths, into a scratch folder.
// Nothing may ever appear beside that folder: hostile names must not lead out of it.

#include "archive/AbUnZPrc.h"
#include "tests/common/ArchiveBytes.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// <temp>/tarnlet-extract-fuzz-<pid>/out receives the entries; its parent must hold nothing else.
fs::path Parent;
fs::path Target;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RefuseDiskRequests();
    Parent = fs::temp_directory_path() / ("tarnlet-extract-fuzz-" + std::to_string(getpid()));
    Target = Parent / "out";
    fs::remove_all(Parent);
    fs::create_directories(Target);
    std::atexit([] { fs::remove_all(Parent); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    {
        TArchiveInMemory M(Data, Size);
        if (!M.Load())
            return 0;
        TAbZipArchive& A = M.Archive;
        A.SetBaseDirectory(Target.string());
        A.ExtractOptions = TAbExtractOptions{eoCreateDirs, eoRestorePath};
        A.Password = "secret";
        A.ExtractHandler = UnzipItemToFile; // failures of single entries are reported, not raised
        for (int I = 0; I < A.Count(); ++I)
            A.ExtractAt(I, "");
    }
    for (const auto& Entry : fs::directory_iterator(Parent))
        if (Entry.path() != Target)
            std::abort(); // written outside the scratch folder
    for (const auto& Entry : fs::directory_iterator(Target))
        fs::remove_all(Entry.path());
    return 0;
}
