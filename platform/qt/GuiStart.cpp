// The GUI programs' few command-line words, and the display check, before Qt is started.
#include <cstdio>
#include <cstring>

#include "QtDisplay.h"
#include "SuiteVersion.h"

std::optional<int> CheckGuiStart(const char* program, const char* description, const char* hint, int argc,
                                 char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("%s %s\n", program, SUITE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: %s [OPTION]\n%s\n\n"
                        "  -h, --help     show this help and exit\n"
                        "  -V, --version  show the version and exit\n\n"
                        "The card printer is reached through the FTDI D2XX library and the card printer SDK\n"
                        "library, found beside the program first, then through the system's library search.\n",
                        program, description);
            return 0;
        }
    }
    if (ReportMissingDisplay(program, hint)) return 1;
    return std::nullopt;
}
