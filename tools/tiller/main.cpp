// tiller: the command-line tool.
//   tiller play SESSION.json --out DIR   plays a session as the host, one JSON line per step
//   tiller report PROFILE                prints the report of a control built from a profile
#include "play.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tiller play SESSION.json --out DIR\n"
                         "       tiller report PROFILE\n");
    return 2;
}

int Play(const char* sessionPath, const char* outDir) {
    tiller::tools::Session session;
    std::string error;
    if (!tiller::tools::ReadSessionFile(sessionPath, &session, &error)) {
        std::fprintf(stderr, "%s: %s\n", sessionPath, error.c_str());
        return 1;
    }
    const int result = tiller::tools::PlaySession(session, outDir, std::cout, std::cerr);
    // The steps' lines are for programs; this one is for the person who ran the session.
    if (result == 0)
        std::fprintf(stderr, "played %zu steps of %s; pictures and reports are in %s/\n",
                     session.steps.size(), sessionPath, outDir);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "play") == 0 && std::strcmp(argv[3], "--out") == 0)
        return Play(argv[2], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "report") == 0)
        return tiller::tools::PrintProfileReport(argv[2], std::cout, std::cerr);
    return Usage();
}
