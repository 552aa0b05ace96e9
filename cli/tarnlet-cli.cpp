// tarnlet-cli: the console front end.

#include <cstdio>
#include <cstring>

namespace {

void Usage(FILE* To) {
    std::fputs("usage: tarnlet-cli VERB ...\n"
               "  --help    this text\n",
               To);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        Usage(stdout);
        return 0;
    }
    Usage(stderr);
    return 2;
}
