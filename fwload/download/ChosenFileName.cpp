// Deriving the chosen file name from the edit's text.
#include "ChosenFileName.h"

#include "Files.h"
#include "ProgramPath.h"

namespace {

bool IsBlankOrControl(unsigned char c) { return c <= ' '; }

}  // namespace

std::string FirstCommandLineItem(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] != '\0' && IsBlankOrControl(static_cast<unsigned char>(text[at]))) ++at;
    std::string item;
    bool quoted = false;
    for (; at < text.size() && text[at] != '\0'; ++at) {
        const char c = text[at];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && IsBlankOrControl(static_cast<unsigned char>(c))) break;
        item += c;
    }
    return item;
}

std::string ChosenFileName(const std::string& editText) {
    if (platform::FileExists(editText)) return editText;
    if (platform::DirectoryExists(editText)) return editText + platform::PathSeparator();
    return FirstCommandLineItem(editText);
}
