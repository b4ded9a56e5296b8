// Shared libraries through the Windows loader, with its own search order.
#include <windows.h>

#include "DynamicLibrary.h"
#include "ProgramPath.h"

namespace platform {

void RestrictLibrarySearch() {
    // Any DLL directory replaces the current folder in the search. The program's own folder, which
    // is searched first anyway, rather than "": Wine takes an empty one for none at all.
    std::string folder = ProgramDirectory();
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    SetDllDirectoryA(folder.c_str());
    SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

LibraryHandle LoadLibraryByName(const std::string& name) {
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name.c_str()));
}

void* FindLibraryEntry(LibraryHandle handle, const char* name) {
    if (!IsLoadedHandle(handle)) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

bool FreeLibraryHandle(LibraryHandle handle) {
    if (!IsLoadedHandle(handle)) return false;
    return FreeLibrary(reinterpret_cast<HMODULE>(handle)) != 0;
}

}  // namespace platform
