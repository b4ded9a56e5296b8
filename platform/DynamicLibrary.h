// Loading shared libraries by their Windows file name, looking up exports by name, and releasing
// them. Handles are plain integers so that "32 or more counts as loaded" reads the same everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using LibraryHandle = std::uintptr_t;

// Handles below this value mean "nothing loaded" (the Windows convention for module handles).
constexpr LibraryHandle kFirstLoadedHandle = 32;

inline bool IsLoadedHandle(LibraryHandle handle) { return handle >= kFirstLoadedHandle; }

// Loads a library by file name; returns 0 when it cannot be loaded. On Windows the name goes to
// LoadLibraryA unchanged. Elsewhere a name STEM.dll (any case) becomes libstem.so, searched first in
// the running program's directory, then by the system loader. Blocking; never throws.
LibraryHandle LoadLibraryByName(const std::string& name);

// Address of the export with the given name, or nullptr when the library lacks it or the handle is
// not a loaded library.
void* FindLibraryEntry(LibraryHandle handle, const char* name);

// Takes the current folder out of the library search, keeping the program's folder, the system
// folders and PATH: a DLL planted where a program happens to be started is never loaded. Call it
// first thing at start. Nothing to do outside Windows, whose loader never searches there.
void RestrictLibrarySearch();

// Releases a library; false when the handle was not a loaded library. Harmless on 0.
bool FreeLibraryHandle(LibraryHandle handle);

// The file name a Windows library name maps to on this platform (the name itself on Windows).
// Only the last path component is changed; a name without ".dll" is returned unchanged.
std::string NativeLibraryName(const std::string& windowsName);

}  // namespace platform
