// tarnlet-cli search: the window's content search, its match tree printed.

#include "cli/Verbs.h"
#include "engine/SearchSetup.h"
#include "platform/Files.h"
#include "platform/Thread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <unistd.h>

const TVerb SearchVerbInfo = {
    "search",
    "[--case] [--names-only] [--no-subfolders] [--no-exe] [--types MASKS] [--list] [-j N]\n"
    "       TEXT FOLDER",
    "      Searches the entries of every archive below FOLDER (self-extracting programs too, unless\n"
    "      --no-exe; other files as they lie) for TEXT and prints the matches as a tree, or with\n"
    "      --list one line per match (archive, tab, entry). Entries that cannot be examined (damaged,\n"
    "      encrypted, an unknown method) are named on standard error with the reason and counted.\n"
    "      -j N searches N files at a time (1 to 64; by default one per processor, at most 8);\n"
    "      the output is the same whatever N.\n"
    "      Exit status 0 with matches, 1 without, 2 on error or when an entry could not be examined.",
    SearchVerb};

namespace {

struct TSearchArgs {
    TSearchRequest Request;
    bool List = false;
};

// 1 to 64, in decimal digits only.
bool ParseWorkers(const std::string& Text, unsigned& Workers) {
    if (Text.empty() || Text.size() > 2 || Text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    Workers = unsigned(std::stoul(Text));
    return Workers >= 1 && Workers <= 64;
}

bool ParseSearchArgs(const std::vector<std::string>& Args, TSearchArgs& Out) {
    size_t I = 0;
    for (; I < Args.size() && (Args[I].starts_with("--") || Args[I] == "-j"); ++I) {
        const std::string& A = Args[I];
        if (A == "--case")
            Out.Request.CaseSensitive = true;
        else if (A == "--names-only")
            Out.Request.NamesOnly = true;
        else if (A == "--no-subfolders")
            Out.Request.Recursive = false;
        else if (A == "--no-exe")
            Out.Request.SelfExtracting = false;
        else if (A == "--list")
            Out.List = true;
        else if (A == "--types" && I + 1 < Args.size())
            Out.Request.EntryMasks = Args[++I];
        else if (A == "-j" && I + 1 < Args.size() && ParseWorkers(Args[I + 1], Out.Request.Workers))
            ++I;
        else
            return false;
    }
    if (Args.size() - I != 2)
        return false;
    Out.Request.Text = Args[I];
    Out.Request.Folder = IncludeTrailingSlash(Args[I + 1]);
    return true;
}

// Prints the match tree as it grows, grouped as the window groups it.
class TMatchPrinter {
public:
    TMatchPrinter(const std::string& SearchFolder, bool List) : FSearchFolder(SearchFolder), FList(List) {}

    void Add(const std::string& ArcFilename, const std::string& AFileName) {
        const TMatchGrouper::TPlace Place = Matches.Add(FSearchFolder, ArcFilename, AFileName);
        if (Place.Kind == TMatchGrouper::mkPlainFile)
            FOut += Place.File + '\n';
        else if (FList)
            FOut += Place.File + '\t' + AFileName + '\n';
        else if (Place.Kind == TMatchGrouper::mkNewArchive)
            FOut += Place.File + "\n  " + AFileName + '\n';
        else
            FOut += "  " + AFileName + '\n';
    }
    // Names an entry that could not be examined on standard error, at once.
    void Failed(const std::string& AFileName, const std::string& Reason, bool Progress) {
        Matches.EntryFailed();
        if (Progress)
            std::fputs("\r\x1b[K", stderr);
        ReportError(Matches.LastFile(FSearchFolder) + ": " + AFileName, Reason);
    }
    // Hands what has been gathered to standard output.
    bool Flush() {
        std::fwrite(FOut.data(), 1, FOut.size(), stdout);
        FOut.clear();
        return std::fflush(stdout) == 0;
    }

    TMatchGrouper Matches;

private:
    std::string FSearchFolder;
    bool FList;
    std::string FOut;
};

// What the walk reports at its end.
struct TOutcome {
    uint32_t Examined = 0;
    std::string WalkError;
};

// Matches go to the printer; progress goes to a terminal on standard error.
void ConnectEvents(TMemSeeker& Scanner, TMatchPrinter& Printer, bool Progress, TOutcome& Outcome) {
    Scanner.OnFileFound = [&Printer](const std::string& AName, const std::string& APath, int32_t, int64_t,
                                     int32_t, TDateTime) { Printer.Matches.FileFound(APath, AName); };
    Scanner.OnContextFound = [&Printer](const std::string& Arc, const std::string& Name, int64_t, int64_t) {
        Printer.Add(Arc, Name);
    };
    Scanner.OnEntryFailed = [&Printer, Progress](const std::string&, const std::string& Name,
                                                 const std::string& Reason) {
        Printer.Failed(Name, Reason, Progress);
    };
    if (Progress)
        Scanner.OnProcess = [](uint32_t, uint64_t, uint32_t, uint32_t, const std::string& Current, uint64_t,
                               uint64_t) { std::fprintf(stderr, "\r\x1b[KExamining: %s", Current.c_str()); };
    Scanner.OnProcessDone = [&Scanner, &Outcome](uint32_t ACount, uint64_t) {
        Outcome.Examined = ACount;
        if (Scanner.Thread() && Scanner.Thread()->SeekError == -1)
            Outcome.WalkError = Scanner.Thread()->ErrorMessage;
    };
}

// Runs the worker's hand-overs until the walk has ended, printing matches as they come; false when
// standard output refuses them.
bool RunToEnd(TMemSeeker& Scanner, TMatchPrinter& Printer) {
    Scanner.Start();
    while (Scanner.Running()) {
        CheckSynchronize(std::chrono::milliseconds(100));
        if (!Printer.Flush())
            return false;
    }
    return true;
}

} // namespace

int SearchVerb(const std::vector<std::string>& Args) {
    TSearchArgs A;
    if (!ParseSearchArgs(Args, A) || A.Request.Text.empty())
        return ReportUsage(SearchVerbInfo);
    const std::string& Folder = A.Request.Folder;
    if (!DirExists(Folder))
        return ReportError(Folder, "no such folder");
    try {
        TMemSeeker Scanner;
        ApplyScannerDefaults(Scanner);
        ApplySearchRequest(Scanner, A.Request);
        TMatchPrinter Printer(Folder, A.List);
        TOutcome Outcome;
        const bool Progress = ::isatty(STDERR_FILENO) == 1;
        ConnectEvents(Scanner, Printer, Progress, Outcome);
        if (!RunToEnd(Scanner, Printer))
            return ReportError(Folder, "cannot write the matches");
        if (Progress)
            std::fputs("\r\x1b[K", stderr);
        const TMatchGrouper& Matches = Printer.Matches;
        if (!A.List)
            std::printf("%d/%d\n%s\n", Matches.ArchiveMatches(), Matches.EntryMatches(),
                        DoneText(Outcome.Examined, Matches.Unexamined()).c_str());
        if (std::fflush(stdout) != 0)
            return ReportError(Folder, "cannot write the matches");
        if (!Outcome.WalkError.empty())
            return ReportError(Folder, Outcome.WalkError);
        if (Matches.Unexamined() > 0)
            return ExitError;
        return Matches.EntryMatches() > 0 ? ExitOk : ExitNoMatch;
    } catch (const std::exception& E) {
        return ReportError(Folder, E.what());
    }
}
