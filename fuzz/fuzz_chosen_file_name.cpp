// The chosen file name derived from arbitrary edit texts.
#include <cstdlib>

#include "ChosenFileName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string item = FirstCommandLineItem(text);
    // The item is made of the text's own characters, with the quotes dropped; blanks and control
    // characters only where quotes enclosed them.
    if (item.find('"') != std::string::npos || item.find('\0') != std::string::npos) std::abort();
    if (item.size() > text.size()) std::abort();
    if (text.find('"') == std::string::npos) {
        for (char c : item) {
            if (static_cast<unsigned char>(c) <= ' ') std::abort();
        }
    }
    ChosenFileName(text);
    return 0;
}
