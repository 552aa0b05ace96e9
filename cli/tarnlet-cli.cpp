// tarnlet-cli: the console front end.

#include "cli/Verbs.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const TVerb* const Verbs[] = {&ListVerbInfo, &TestVerbInfo, &ExtractVerbInfo, &SearchVerbInfo,
                              &AddVerbInfo,  &CatVerbInfo,  &ShowVerbInfo};

bool IsHelp(const char* Arg) {
    return std::strcmp(Arg, "--help") == 0 || std::strcmp(Arg, "-h") == 0;
}

void Usage(FILE* To) {
    std::fputs("usage: tarnlet-cli VERB ARGUMENTS...\n"
               "       tarnlet-cli VERB --help\n"
               "       tarnlet-cli --help | --version\n\n"
               "verbs:\n",
               To);
    for (const TVerb* V : Verbs)
        std::fprintf(To, "  %s %s\n%s\n", V->Name, V->Usage, V->Help);
    std::fputs("\nExit status: 0 on success, 1 when search finds nothing, 2 on error (the message goes to\n"
               "standard error).\n",
               To);
}

} // namespace

int ReportError(const std::string& What, const std::string& Message) {
    std::fprintf(stderr, "tarnlet-cli: %s: %s\n", What.c_str(), Message.c_str());
    return ExitError;
}

int ReportUsage(const TVerb& Verb) {
    std::fprintf(stderr, "usage: tarnlet-cli %s %s\n", Verb.Name, Verb.Usage);
    return ExitError;
}

int main(int argc, char** argv) {
    if (argc >= 2 && IsHelp(argv[1])) {
        Usage(stdout);
        return ExitOk;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("tarnlet-cli " TARNLET_VERSION);
        return ExitOk;
    }
    if (argc >= 2)
        for (const TVerb* V : Verbs)
            if (std::strcmp(argv[1], V->Name) == 0) {
                if (argc >= 3 && IsHelp(argv[2])) {
                    std::printf("usage: tarnlet-cli %s %s\n\n%s\n", V->Name, V->Usage, V->Help);
                    return ExitOk;
                }
                return V->Run(std::vector<std::string>(argv + 2, argv + argc));
            }
    if (argc >= 2)
        std::fprintf(stderr, "tarnlet-cli: unknown verb \"%s\"\n", argv[1]);
    Usage(stderr);
    return ExitError;
}
