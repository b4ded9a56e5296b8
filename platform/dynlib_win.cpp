// Shared libraries through the Windows loader, with its own search order.
#include <windows.h>

#include "DynamicLibrary.h"

namespace platform {

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
