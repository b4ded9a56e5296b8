// Binding and releasing the card printer SDK library for fwload.
#include "KX47XX_Dyn.h"

#include <cstring>

platform::LibraryHandle KX47XXLibHandle = 0;
KX47XXEntryPoints KX47XXSlots;

namespace {

template <typename Slot>
void Resolve(Slot& slot, const char* name) {
    static_assert(sizeof(Slot) == sizeof(void*), "entry points are pointer-sized");
    void* address = platform::FindLibraryEntry(KX47XXLibHandle, name);
    std::memcpy(&slot, &address, sizeof slot);
}

}  // namespace

bool LoadKX47XXLibrary(const char* libraryName) {
    if (platform::IsLoadedHandle(KX47XXLibHandle)) return true;
    KX47XXLibHandle = platform::LoadLibraryByName(libraryName);
    if (!platform::IsLoadedHandle(KX47XXLibHandle)) return false;
#define KX47XX_RESOLVE_SLOT(name, type) Resolve(KX47XXSlots.name, #name);
    KX47XX_ENTRY_POINTS(KX47XX_RESOLVE_SLOT)
#undef KX47XX_RESOLVE_SLOT
    return true;
}

void UnloadKX47XXLibrary() {
    platform::FreeLibraryHandle(KX47XXLibHandle);
    KX47XXLibHandle = 0;
}
