// tarnlet-cli search: the window's content search, its match tree printed.

#include "cli/Verbs.h"
#include "engine/SeekU.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "platform/Thread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <unistd.h>

const TVerb SearchVerbInfo = {
    "search", "[--case] [--names-only] [--no-subfolders] [--no-exe] [--types MASKS] [--list] TEXT FOLDER",
    "      Searches the entries of every archive below FOLDER (and other files as they lie) for TEXT\n"
    "      and prints the matches as a tree, or with --list one line per match (archive, tab, entry).\n"
    "      Exit status 0 with matches, 1 without, 2 on error.",
    SearchVerb};

namespace {

struct TSearchArgs {
    bool CaseSensitive = false;
    bool NamesOnly = false;
    bool Recursive = true;
    bool Executables = true;
    bool List = false;
    std::string Types = "*.*;";
    std::string Text;
    std::string Folder;
};

bool ParseSearchArgs(const std::vector<std::string>& Args, TSearchArgs& Out) {
    size_t I = 0;
    for (; I < Args.size() && Args[I].starts_with("--"); ++I) {
        const std::string& A = Args[I];
        if (A == "--case")
            Out.CaseSensitive = true;
        else if (A == "--names-only")
            Out.NamesOnly = true;
        else if (A == "--no-subfolders")
            Out.Recursive = false;
        else if (A == "--no-exe")
            Out.Executables = false;
        else if (A == "--list")
            Out.List = true;
        else if (A == "--types" && I + 1 < Args.size())
            Out.Types = Args[++I];
        else
            return false;
    }
    if (Args.size() - I != 2)
        return false;
    Out.Text = Args[I];
    Out.Folder = IncludeTrailingSlash(Args[I + 1]);
    return true;
}

// Builds the match tree as the window does and prints it as it grows.
class TMatchPrinter {
public:
    TMatchPrinter(const std::string& SearchPath, bool List) : FSearchPath(SearchPath), FList(List) {}

    void Add(const std::string& ArcFilename, const std::string& AFileName) {
        if (ArcFilename.empty()) {
            ++EntryMatches;
            FOut += AFileName + '\n';
            return;
        }
        // Relative to the search folder when the archive lies below it.
        std::string S = ArcFilename;
        if (UpperCaseAscii(S).starts_with(UpperCaseAscii(FSearchPath)))
            S.erase(0, FSearchPath.size());
        if (!FStarted || S != FLastArchive) {
            FStarted = true;
            FLastArchive = S;
            ++ArchiveMatches;
            if (!FList)
                FOut += S + '\n';
        }
        ++EntryMatches;
        FOut += FList ? S + '\t' + AFileName + '\n' : "  " + AFileName + '\n';
    }
    // Hands what has been gathered to standard output.
    bool Flush() {
        std::fwrite(FOut.data(), 1, FOut.size(), stdout);
        FOut.clear();
        return std::fflush(stdout) == 0;
    }

    int ArchiveMatches = 0;
    int EntryMatches = 0;

private:
    std::string FSearchPath;
    bool FList;
    bool FStarted = false;
    std::string FLastArchive;
    std::string FOut;
};

} // namespace

int SearchVerb(const std::vector<std::string>& Args) {
    TSearchArgs A;
    if (!ParseSearchArgs(Args, A) || A.Text.empty())
        return ReportUsage(SearchVerbInfo);
    if (!DirExists(A.Folder))
        return ReportError(A.Folder, "no such folder");
    try {
        TMemSeeker Scanner;
        Scanner.SetFiles(A.Executables ? "*.zip;*.exe" : "*.zip");
        Scanner.SetDirectory(A.Folder);
        Scanner.SetRecursive(A.Recursive);
        Scanner.SetScanScope(ssSpecifiedDir);
        TContext& C = Scanner.Context();
        C.SetContextAsString(A.Text);
        C.SetCaseSensitive(A.CaseSensitive);
        C.SetNamesOnly(A.NamesOnly);
        C.SetReplaceChar('#');
        C.SetFileFilter(A.Types);
        C.SetBufferSizeKb(2048);
        C.SetFirstEntryOnly(true);

        TMatchPrinter Printer(A.Folder, A.List);
        const bool Progress = ::isatty(STDERR_FILENO) == 1;
        Scanner.OnContextFound = [&Printer](const std::string& Arc, const std::string& Name, int64_t,
                                            int64_t) { Printer.Add(Arc, Name); };
        if (Progress)
            Scanner.OnProcess = [](uint32_t, uint64_t, uint32_t, uint32_t, const std::string& Current,
                                   uint64_t, uint64_t) {
                std::fprintf(stderr, "\r\x1b[KExamining: %s", Current.c_str());
            };
        uint32_t Examined = 0;
        std::string WalkError;
        Scanner.OnProcessDone = [&](uint32_t ACount, uint64_t) {
            Examined = ACount;
            // The walk keeps the message of the error that stopped it.
            if (Scanner.Thread() && Scanner.Thread()->SeekError == -1)
                WalkError = Scanner.Thread()->CurrentPath;
        };
        Scanner.Start();
        while (Scanner.Running()) {
            CheckSynchronize(std::chrono::milliseconds(100));
            if (!Printer.Flush())
                return ReportError(A.Folder, "cannot write the matches");
        }
        if (Progress)
            std::fputs("\r\x1b[K", stderr);
        if (!A.List)
            std::printf("%d/%d\nDone! Total of %u files examined\n", Printer.ArchiveMatches,
                        Printer.EntryMatches, Examined);
        if (std::fflush(stdout) != 0)
            return ReportError(A.Folder, "cannot write the matches");
        if (!WalkError.empty())
            return ReportError(A.Folder, WalkError);
        return Printer.EntryMatches > 0 ? ExitOk : ExitNoMatch;
    } catch (const std::exception& E) {
        return ReportError(A.Folder, E.what());
    }
}
