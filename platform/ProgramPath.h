// Where the running program lives, and the name of the settings file beside it.
#pragma once

#include <string>

namespace platform {

// Full path of the running program's executable; empty when the platform cannot tell.
std::string ProgramPath();

// Directory of the running program, ending in a path separator; empty when unknown.
std::string ProgramDirectory();

// The settings file for a program path: the file name's part from its last '.' on is replaced by
// ".ini"; a file name without '.' gets ".ini" appended. Dots in directory names are left alone.
std::string SettingsFileName(const std::string& programPath);

// The platform's path separator ('\\' on Windows, '/' elsewhere).
char PathSeparator();

// Another program of the suite beside the running one: "fwload-cli" is fwload-cli, or fwload-cli.exe
// on Windows, in the running program's folder.
std::string ProgramBeside(const std::string& name);

}  // namespace platform
