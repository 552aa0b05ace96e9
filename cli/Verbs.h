#pragma once
// The verbs of tarnlet-cli. Each verb lives in its own file and is listed in the table of tarnlet-cli.cpp.

#include <memory>
#include <string>
#include <vector>

struct TVerb {
    const char* Name;
    const char* Usage; // arguments after the verb
    const char* Help;  // what it does, one or more lines
    // Returns the exit status; Args are the arguments after the verb.
    int (*Run)(const std::vector<std::string>& Args);
};

// Exit statuses.
constexpr int ExitOk = 0;
constexpr int ExitNoMatch = 1;
constexpr int ExitError = 2;

// Prints "tarnlet-cli: What: Message" on standard error and returns ExitError.
int ReportError(const std::string& What, const std::string& Message);
// Prints the usage of one verb on standard error and returns ExitError.
int ReportUsage(const TVerb& Verb);

int ListVerb(const std::vector<std::string>& Args);
extern const TVerb ListVerbInfo;

// Options of the verbs that extract, ahead of their operands: -p PASSWORD, -o (overwrite all), -n
// (overwrite none).
struct TExtractArgs {
    std::string Password;
    bool OverwriteAll = false;
    bool OverwriteNone = false;
    std::vector<std::string> Operands;
};
// False on an option not in Allowed (letters), a -p without its password, or -o with -n.
bool ParseExtractArgs(const std::vector<std::string>& Args, const std::string& Allowed, TExtractArgs& Out);

int TestVerb(const std::vector<std::string>& Args);
extern const TVerb TestVerbInfo;
int ExtractVerb(const std::vector<std::string>& Args);
extern const TVerb ExtractVerbInfo;
int SearchVerb(const std::vector<std::string>& Args);
extern const TVerb SearchVerbInfo;
int AddVerb(const std::vector<std::string>& Args);
extern const TVerb AddVerbInfo;
int CatVerb(const std::vector<std::string>& Args);
extern const TVerb CatVerbInfo;
int ShowVerb(const std::vector<std::string>& Args);
extern const TVerb ShowVerbInfo;

// One archive whose entries are extracted one at a time into a private scratch folder, which goes with
// the object.
class TEntryScratch {
public:
    // Opens and loads the archive; raises with the reason.
    TEntryScratch(const std::string& ArchivePath, const std::string& Password);
    ~TEntryScratch();
    TEntryScratch(const TEntryScratch&) = delete;
    TEntryScratch& operator=(const TEntryScratch&) = delete;

    // Extracts the entry stored under exactly Name and returns its file; the previous one is deleted.
    // Raises "no such entry" or the reason the extraction failed. A folder entry gives an empty file.
    std::string Extract(const std::string& Name);

private:
    struct TData;
    std::unique_ptr<TData> F;
};
