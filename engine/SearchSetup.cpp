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
    Context.SetCaseSensitive(Request.CaseSensitive);
    Context.SetNamesOnly(Request.NamesOnly);
    Context.SetFileFilter(Request.EntryMasks);
    Context.SetBufferSizeKb(2048);
    // Each file or entry is reported once, at its first match.
    Context.SetFirstEntryOnly(true);
}

void TMatchGrouper::Start() {
    FLastArchive.clear();
    FHasArchive = false;
    FArchiveMatches = 0;
    FEntryMatches = 0;
}

TMatchGrouper::TPlace TMatchGrouper::Add(const std::string& SearchFolder, const std::string& ArcFilename) {
    ++FEntryMatches;
    if (ArcFilename.empty())
        return {mkPlainFile, {}};
    // The engine's folding: only "a" to "z" compare without case.
    std::string S = ArcFilename;
    if (UpperCaseAscii(S).starts_with(UpperCaseAscii(SearchFolder)))
        S.erase(0, SearchFolder.size());
    if (FHasArchive && S == FLastArchive)
        return {mkSameArchive, S};
    FHasArchive = true;
    FLastArchive = S;
    ++FArchiveMatches;
    return {mkNewArchive, S};
}
