// Writes a demo firmware image for the virtual printer: the header, then pseudo-random bytes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kUsage[] =
    "usage: make-demo-firmware OUTPUT [IMAGE_BYTES]\n"
    "Writes a card printer firmware file for the virtual printer: the 18-byte header, then\n"
    "IMAGE_BYTES pseudo-random bytes (default 65536). The same size gives the same bytes.\n";

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // A name like an option is a mistyped option, never a file to create.
    if (argv[1][0] == '-') {
        std::fprintf(stderr, "make-demo-firmware: unknown option %s\n%s", argv[1], kUsage);
        return 2;
    }
    long bytes = 65536;
    if (argc == 3) {
        char* end = nullptr;
        errno = 0;
        bytes = std::strtol(argv[2], &end, 10);
        if (errno != 0 || end == argv[2] || *end != '\0' || bytes < 0) {
            std::fprintf(stderr, "make-demo-firmware: IMAGE_BYTES must be a whole number of bytes, not \"%s\"\n", argv[2]);
            return 2;
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fputs("[NOV Card Printer]", out);
    unsigned state = 4700;
    for (long i = 0; i < bytes; ++i) {
        state = state * 1103515245u + 12345u;
        std::fputc(static_cast<int>((state >> 16) & 0xFF), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
