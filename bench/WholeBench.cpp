// halberd_wholebench: the whole-program figures. Talvane27's main window runs in this process
// offscreen for the figures that need its UI thread watched; the start and idle figures run the
// real Talvane27 and Orrick executables. Figures are printed; only a malfunction (the link never
// up, a lost message) makes it fail.
//   halberd_wholebench [--quick] [--display-only] [--talvane PATH] [--orrick PATH]
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/InProcessFigures.h"
#include "bench/ProcessFigures.h"
#include "terminal/ErrorReporting.h"

int main(int argc, char** argv) {
    std::string talvane = HALBERD_TALVANE27_PATH;
    std::string orrick = HALBERD_ORRICK_PATH;
    bench::InProcessCounts inProcess;
    bench::ProcessCounts processes;
    bool displayOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {  // tiny counts: shows the harness works, not how fast anything is
            inProcess = {5, 20, 100, 1000};
            processes = {1, 1, 2, 2, 1};
        } else if (arg == "--display-only") {  // the floods in full, short idle spells
            displayOnly = true;
            processes.displayIdleSeconds = 5;
        } else if (arg == "--talvane" && i + 1 < argc) {
            talvane = argv[++i];
        } else if (arg == "--orrick" && i + 1 < argc) {
            orrick = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--display-only] [--talvane PATH] [--orrick PATH]\n",
                         argv[0]);
            return 2;
        }
    }

    QTemporaryDir workDir;
    if (!workDir.isValid()) {
        std::fprintf(stderr, "halberd_wholebench: no temporary folder\n");
        return 1;
    }
    const std::string configDir = workDir.path().toStdString() + "/in-process";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", configDir.c_str(), 1);
    int qtArgc = 1;
    talvane::TalvaneApplication app(qtArgc, argv);
    try {
        if (displayOnly) {
            bench::RunDisplayFigures(processes, talvane, orrick, workDir.path().toStdString());
            return 0;
        }
        std::printf("== Whole-program figures\n");
        std::fflush(stdout);
        bench::RunInProcessFigures(inProcess, configDir);
        std::fflush(stdout);
        bench::RunProcessFigures(processes, talvane, orrick, workDir.path().toStdString());
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "halberd_wholebench: %s\n", error.what());
        return 1;
    }
    return 0;
}
