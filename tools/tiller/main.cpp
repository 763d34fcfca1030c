// tiller: the command-line tool.
//   tiller play SESSION.json --out DIR   plays a session as the host, one JSON line per step
//   tiller report PROFILE                prints the report of a control built from a profile
//   tiller view [SOURCE] [--profile NAME|PATH] [--port N]
//                                        serves the browser viewer on a loopback port
#include "play.h"
#include "viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tiller play SESSION.json --out DIR\n"
                         "       tiller report PROFILE\n"
                         "       tiller view [SESSION.json|DRAWING.qvw|MODEL] [--profile NAME|PATH]"
                         " [--port N]\n");
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

int View(int argc, char** argv) {
    std::string source, profile;
    long port = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--profile" && i + 1 < argc) {
            profile = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end || port < 0 || port > 65535) return Usage();
        } else if (source.empty() && arg.rfind("--", 0) != 0) {
            source = arg;
        } else {
            return Usage();
        }
    }
    tiller::tools::ViewSource view;
    std::string error;
    if (!tiller::tools::ReadViewSource(source, profile, &view, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return tiller::tools::ServeViewer(view, static_cast<int>(port), TILLER_WEB_DIR, std::cout,
                                      std::cerr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "play") == 0 && std::strcmp(argv[3], "--out") == 0)
        return Play(argv[2], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "report") == 0)
        return tiller::tools::PrintProfileReport(argv[2], std::cout, std::cerr);
    if (argc >= 2 && std::strcmp(argv[1], "view") == 0) return View(argc, argv);
    return Usage();
}
