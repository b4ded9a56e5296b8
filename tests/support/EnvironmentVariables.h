// Setting and removing environment variables for the running test, the same way on every
// platform (an empty value stays set, as on POSIX).
#pragma once

#include <string>

void SetEnvironmentValue(const std::string& name, const std::string& value);
void RemoveEnvironmentValue(const std::string& name);
