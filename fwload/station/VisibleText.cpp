// Control characters made visible.
#include "VisibleText.h"

#include <cstdint>
#include <cstdio>

namespace {

// C1 controls (an 8-bit CSI among them) and the bidirectional overrides and isolates, which turn
// what follows around on screen.
bool IsInvisibleControl(std::uint32_t codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at text[i] of two or three bytes, with its code
// point; 0 when there is none.
std::size_t Utf8Sequence(const std::string& text, std::size_t i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const auto continuation = [&](std::size_t at) { return at < text.size() && (byte(at) & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF && continuation(i + 1)) {
        codePoint = (lead & 0x1Fu) << 6 | (byte(i + 1) & 0x3Fu);
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
        codePoint = (lead & 0x0Fu) << 12 | (byte(i + 1) & 0x3Fu) << 6 | (byte(i + 2) & 0x3Fu);
        return codePoint >= 0x800 ? 3 : 0;
    }
    return 0;
}

}  // namespace

std::string VisibleText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char escape[8];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
            continue;
        }
        std::uint32_t codePoint = 0;
        const std::size_t length = c >= 0x80 ? Utf8Sequence(text, i, codePoint) : 0;
        if (length > 0 && IsInvisibleControl(codePoint)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(codePoint));
            shown += escape;
            i += length - 1;
            continue;
        }
        shown += text[i];
    }
    return shown;
}
