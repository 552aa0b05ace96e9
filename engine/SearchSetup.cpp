#include "engine/SearchSetup.h"

#include "platform/Files.h"
#include "platform/SysUtils.h"

void ApplyScannerDefaults(TMemSeeker& Scanner) {
    Scanner.SetScanDrives({sdHard, sdCDROM, sdRAM, sdNetwork});
    Scanner.SetAttributes({});
    Scanner.SetPriority(tpTimeCritical);
    Scanner.Context().SetReplaceChar('#');
}

void ApplySearchRequest(TMemSeeker& Scanner, const TSearchRequest& Request) {
    TContext& Context = Scanner.Context();
    // First, so a refused text leaves the rest as it was.
    Context.SetContextAsString(Request.Text);
    Scanner.SetFiles(Request.SelfExtracting ? "*.zip;*.exe" : "*.zip");
    Scanner.SetDirectory(IncludeTrailingSlash(Request.Folder));
    Scanner.SetRecursive(Request.Recursive);
    Scanner.SetScanScope(ssSpecifiedDir);
    Scanner.SetWorkers(Request.Workers);
    Context.SetCaseSensitive(Request.CaseSensitive);
    Context.SetNamesOnly(Request.NamesOnly);
    Context.SetFileFilter(Request.EntryMasks);
    Context.SetBufferSizeKb(2048);
    // Each file or entry is reported once, at its first match.
    Context.SetFirstEntryOnly(true);
}

namespace {

// Path without the search folder in front, when it is there; the engine's folding: only "a" to "z"
// compare without case.
std::string RelativeTo(const std::string& SearchFolder, std::string Path) {
    if (UpperCaseAscii(Path).starts_with(UpperCaseAscii(SearchFolder)))
        Path.erase(0, SearchFolder.size());
    return Path;
}

} // namespace

void TMatchGrouper::Start() {
    FLastArchive.clear();
    FLastArchiveFile.clear();
    FLastFile.clear();
    FHasArchive = false;
    FArchiveMatches = 0;
    FEntryMatches = 0;
    FUnexamined = 0;
}

void TMatchGrouper::FileFound(const std::string& APath, const std::string& AName) {
    FLastFile = JoinPath(APath, AName);
}

std::string TMatchGrouper::LastFile(const std::string& SearchFolder) const {
    return RelativeTo(SearchFolder, FLastFile);
}

TMatchGrouper::TPlace TMatchGrouper::Add(const std::string& SearchFolder, const std::string& ArcFilename,
                                         const std::string& AFileName) {
    ++FEntryMatches;
    if (ArcFilename.empty())
        return {mkPlainFile, RelativeTo(SearchFolder, ExtractFilePath(FLastFile) + AFileName),
                LastFile(SearchFolder)};
    const std::string S = RelativeTo(SearchFolder, ArcFilename);
    // Names that differ only in case are one group's name, yet two archives.
    if (FHasArchive && S == FLastArchive && FLastFile == FLastArchiveFile)
        return {mkSameArchive, S, LastFile(SearchFolder)};
    FHasArchive = true;
    FLastArchive = S;
    FLastArchiveFile = FLastFile;
    ++FArchiveMatches;
    return {mkNewArchive, S, LastFile(SearchFolder)};
}

std::string DoneText(uint32_t Examined, int Unexamined) {
    std::string Text = Format("Done! Total of %d files examined", {Examined});
    if (Unexamined == 1)
        Text += "; 1 entry not examined";
    else if (Unexamined > 1)
        Text += Format("; %d entries not examined", {Unexamined});
    return Text;
}
