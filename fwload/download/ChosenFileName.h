// The firmware file named by the text of the file-name edit.
#pragma once

#include <string>

// The text itself when it names an existing file; an existing directory with a path separator
// appended (which never names a file); otherwise the first item of the text read as a command line.
std::string ChosenFileName(const std::string& editText);

// The first item of a command line: it starts after blanks and control characters and runs to the
// next blank or control character outside double quotes; the quotes themselves are dropped.
std::string FirstCommandLineItem(const std::string& text);
