// The service tools' binding of the card printer SDK library: loaded lazily by the first call,
// every entry point looked up on every call, released with the dialog that owns it.
#pragma once

#include <cstdint>

#include "DynamicLibrary.h"

// Results of the binding itself; every other code is the library's.
constexpr std::int32_t SDK_NOT_LOADED = -3;  // no library file could be loaded
constexpr std::int32_t SDK_NO_ENTRY = 98;    // the library lacks the entry point

class CSdkLibrary {
public:
    CSdkLibrary() = default;
    ~CSdkLibrary();
    CSdkLibrary(const CSdkLibrary&) = delete;
    CSdkLibrary& operator=(const CSdkLibrary&) = delete;

    // True at once when a library is held. Otherwise tries the given name (if any), then
    // "KX4700.DLL", then "CRDPRT.DLL"; true when one of them loaded.
    bool Load(const char* name = nullptr);
    // Loads "KX4700.DLL" (and the fallbacks) when nothing is held. When that fails, shows the box
    // "KX4700.DLL NOT FOUND (4)" without an owner and returns SDK_NOT_LOADED; otherwise 0.
    std::int32_t EnsureLoaded();
    bool IsLoaded() const { return platform::IsLoadedHandle(module_); }

    // One wrapper per entry point: EnsureLoaded's code when it fails, SDK_NO_ENTRY (silently) when
    // the library lacks the entry point, otherwise the library's result. Arguments pass unchanged.
    std::int32_t OpenDevice(const char* description, std::int32_t type);
    std::int32_t CloseDevice(std::int32_t type);
    std::int32_t GetSensorPos(std::int32_t* position);
    std::int32_t SetSensorPos(std::int32_t position);
    std::int32_t GetProduction(char* first, char* second, char* serial);
    std::int32_t DeviceDirectSend2(std::uint8_t* bytes, std::int32_t count, std::int32_t channel,
                                   std::int32_t replyFollows);
    std::int32_t DeviceDirectGet2(std::uint8_t* reply, std::int32_t* length);
    std::int32_t GetRibbonSensorEx(std::int32_t* first, std::int32_t* second);
    std::int32_t SetRibbonSensor();
    std::int32_t N_SaveConfigurationData(std::int32_t step);

private:
    template <typename Proc, typename... Arguments>
    std::int32_t Call(const char* name, Arguments... arguments);

    platform::LibraryHandle module_ = 0;
};
