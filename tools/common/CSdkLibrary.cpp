// Lazy loading of the SDK library and the wrappers of the operations the tools call.
#include "CSdkLibrary.h"

#include <cstring>

#include "CardPrinterSdk.h"
#include "MessageBox.h"

CSdkLibrary::~CSdkLibrary() {
    if (IsLoaded()) platform::FreeLibraryHandle(module_);
}

bool CSdkLibrary::Load(const char* name) {
    if (IsLoaded()) return true;
    if (name != nullptr) module_ = platform::LoadLibraryByName(name);
    if (!IsLoaded()) module_ = platform::LoadLibraryByName("KX4700.DLL");
    if (!IsLoaded()) module_ = platform::LoadLibraryByName("CRDPRT.DLL");
    return IsLoaded();
}

std::int32_t CSdkLibrary::EnsureLoaded() {
    if (!IsLoaded()) Load("KX4700.DLL");
    if (IsLoaded()) return 0;
    platform::ShowMessageBox(
        platform::MessageBoxRequest{"KX4700_TEST.EXE", "KX4700.DLL NOT FOUND (4)", platform::MessageIcon::None, false, true});
    return SDK_NOT_LOADED;
}

template <typename Proc, typename... Arguments>
std::int32_t CSdkLibrary::Call(const char* name, Arguments... arguments) {
    if (const std::int32_t code = EnsureLoaded(); code != 0) return code;
    void* address = platform::FindLibraryEntry(module_, name);
    if (address == nullptr) return SDK_NO_ENTRY;
    Proc entry;
    std::memcpy(&entry, &address, sizeof entry);
    return entry(arguments...);
}

std::int32_t CSdkLibrary::OpenDevice(const char* description, std::int32_t type) {
    return Call<OpenDeviceProc>("OpenDevice", description, type);
}

std::int32_t CSdkLibrary::CloseDevice(std::int32_t type) { return Call<CloseDeviceProc>("CloseDevice", type); }

std::int32_t CSdkLibrary::GetSensorPos(std::int32_t* position) {
    return Call<GetSensorPosProc>("GetSensorPos", position);
}

std::int32_t CSdkLibrary::SetSensorPos(std::int32_t position) {
    return Call<SetSensorPosProc>("SetSensorPos", position);
}

std::int32_t CSdkLibrary::GetProduction(char* first, char* second, char* serial) {
    return Call<GetProductionProc>("GetProduction", first, second, serial);
}

std::int32_t CSdkLibrary::DeviceDirectSend2(std::uint8_t* bytes, std::int32_t count, std::int32_t channel,
                                            std::int32_t replyFollows) {
    return Call<DeviceDirectSend2Proc>("DeviceDirectSend2", bytes, count, channel, replyFollows);
}

std::int32_t CSdkLibrary::DeviceDirectGet2(std::uint8_t* reply, std::int32_t* length) {
    return Call<DeviceDirectGet2Proc>("DeviceDirectGet2", reply, length);
}

std::int32_t CSdkLibrary::GetRibbonSensorEx(std::int32_t* first, std::int32_t* second) {
    return Call<GetRibbonSensorExProc>("GetRibbonSensorEx", first, second);
}

std::int32_t CSdkLibrary::SetRibbonSensor() { return Call<SetRibbonSensorProc>("SetRibbonSensor"); }

std::int32_t CSdkLibrary::N_SaveConfigurationData(std::int32_t step) {
    return Call<N_SaveConfigurationDataProc>("N_SaveConfigurationData", step);
}
