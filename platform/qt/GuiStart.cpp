// The GUI programs' few command-line words, and the display check, before Qt is started.
#include <cstdio>
#include <cstring>

#include "QtDisplay.h"
#include "SuiteVersion.h"

std::optional<int> CheckGuiStart(const char* program, const char* hint, int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("%s %s\n", program, SUITE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: %s [--version]\nOpens the %s window; it takes no other arguments.\n", program, program);
            return 0;
        }
    }
    if (ReportMissingDisplay(program, hint)) return 1;
    return std::nullopt;
}
