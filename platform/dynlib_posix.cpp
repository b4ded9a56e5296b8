// Shared libraries through dlopen: the program's own directory first, then the system search.
#include <dlfcn.h>
#include <sys/stat.h>

#include "DynamicLibrary.h"
#include "ProgramPath.h"

namespace platform {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

void RestrictLibrarySearch() {}

LibraryHandle LoadLibraryByName(const std::string& name) {
    const std::string nativeName = NativeLibraryName(name);
    void* module = nullptr;
    if (nativeName.find('/') == std::string::npos) {
        const std::string besideProgram = ProgramDirectory() + nativeName;
        if (IsRegularFile(besideProgram)) module = dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (module == nullptr) module = dlopen(nativeName.c_str(), RTLD_NOW | RTLD_LOCAL);
    return reinterpret_cast<LibraryHandle>(module);
}

void* FindLibraryEntry(LibraryHandle handle, const char* name) {
    if (!IsLoadedHandle(handle)) return nullptr;
    return dlsym(reinterpret_cast<void*>(handle), name);
}

bool FreeLibraryHandle(LibraryHandle handle) {
    if (!IsLoadedHandle(handle)) return false;
    return dlclose(reinterpret_cast<void*>(handle)) == 0;
}

}  // namespace platform
