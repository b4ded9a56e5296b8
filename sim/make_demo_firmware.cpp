// Writes a demo firmware image for the virtual printer: the header, then pseudo-random bytes.
//     make-demo-firmware OUTPUT [IMAGE_BYTES]     (default 65536 image bytes)
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make-demo-firmware OUTPUT [IMAGE_BYTES]\n");
        return 2;
    }
    const long bytes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 65536;
    if (bytes < 0) {
        std::fprintf(stderr, "make-demo-firmware: IMAGE_BYTES must not be negative\n");
        return 2;
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
