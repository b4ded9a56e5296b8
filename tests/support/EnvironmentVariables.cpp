// Environment variables through the platform's own calls.
#include "EnvironmentVariables.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

void SetEnvironmentValue(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void RemoveEnvironmentValue(const std::string& name) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name.c_str(), nullptr);
#else
    unsetenv(name.c_str());
#endif
}
