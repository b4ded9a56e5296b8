// The D2XX binding, the link operations on it and the discovery of the card printer.
#include "D2XX_Dyn.h"

#include <algorithm>
#include <cstring>

#include "MessageBox.h"

platform::LibraryHandle D2XXLibHandle = 0;
D2XXEntryPoints D2XXSlots;

FT_HANDLE FTHandle = nullptr;
std::int32_t FTDeviceIndex = 0;
std::uint32_t FTDeviceCount = 0;
char FTDescriptionBuffer[FT_DESCRIPTION_BUFFER_SIZE] = {};
std::string FTDeviceDescription;
std::uint32_t FTRxQueueBytes = 0;
FT_STATUS FTLastStatus = FT_OK;
D2XXOptionalEntryPoints D2XXOptionalSlots;
std::uint8_t FTInBuffer[kLinkBufferSize] = {};
std::uint8_t FTOutBuffer[kLinkBufferSize] = {};

namespace {

constexpr char kLibraryName[] = "ftd2xx.dll";
constexpr std::uint32_t kReadTimeoutMs = 10;
constexpr std::uint32_t kWriteTimeoutMs = 2000;

template <typename Slot>
void Store(Slot& slot, void* address) {
    static_assert(sizeof(Slot) == sizeof(void*), "entry points are pointer-sized");
    std::memcpy(&slot, &address, sizeof slot);
}

struct NamedSlot {
    const char* name;
    void (*store)(void* address);
};

#define D2XX_SLOT(member, exported) \
    NamedSlot { exported, [](void* address) { Store(D2XXSlots.member, address); } }

const NamedSlot kSlots[kD2XXEntryPointCount] = {
    D2XX_SLOT(FT_Open, "FT_Open"),
    D2XX_SLOT(FT_Close, "FT_Close"),
    D2XX_SLOT(FT_Read, "FT_Read"),
    D2XX_SLOT(FT_Write, "FT_Write"),
    D2XX_SLOT(FT_SetBaudRate, "FT_SetBaudRate"),
    D2XX_SLOT(FT_SetDataCharacteristics, "FT_SetDataCharacteristics"),
    D2XX_SLOT(FT_SetFlowControl, "FT_SetFlowControl"),
    D2XX_SLOT(FT_ResetDevice, "FT_ResetDevice"),
    D2XX_SLOT(FT_SetDtr, "FT_SetDtr"),
    D2XX_SLOT(FT_ClrDtr, "FT_ClrDtr"),
    D2XX_SLOT(FT_SetRts, "FT_SetRts"),
    D2XX_SLOT(FT_ClrRts, "FT_ClrRts"),
    D2XX_SLOT(FT_GetModemStatus, "FT_GetModemStatus"),
    D2XX_SLOT(FT_SetChars, "FT_SetChars"),
    D2XX_SLOT(FT_Purge, "FT_Purge"),
    D2XX_SLOT(FT_SetTimeouts, "FT_SetTimeouts"),
    D2XX_SLOT(FT_GetQueueStatus, "FT_GetQueueStatus"),
    D2XX_SLOT(FT_ListDevicesCount, "FT_ListDevices"),
    D2XX_SLOT(FT_ListDevicesByIndex, "FT_ListDevices"),
    D2XX_SLOT(FT_OpenEx, "FT_OpenEx"),
    D2XX_SLOT(FT_GetLatencyTimer, "FT_GetLatencyTimer"),
    D2XX_SLOT(FT_EE_Read, "FT_EE_Read"),
    D2XX_SLOT(FT_EE_ReadEx, "FT_EE_ReadEx"),
    D2XX_SLOT(FT_EraseEE, "FT_EraseEE"),
    D2XX_SLOT(FT_EE_Program, "FT_EE_Program"),
};

#undef D2XX_SLOT

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void ShowDiscoveryError(const char* text) {
    platform::ShowMessageBox("Error", text, platform::MessageIcon::Information);
}

}  // namespace

bool ResolveD2XXEntryPoints(platform::LibraryHandle library) {
    for (const NamedSlot& slot : kSlots) {
        void* address = platform::FindLibraryEntry(library, slot.name);
        slot.store(address);
        if (address == nullptr) return false;
    }
    return true;
}

bool LoadD2XXLibrary() {
    if (platform::IsLoadedHandle(D2XXLibHandle)) return true;
    D2XXLibHandle = platform::LoadLibraryByName(kLibraryName);
    if (!platform::IsLoadedHandle(D2XXLibHandle)) return false;
    Store(D2XXOptionalSlots.FT_SetLatencyTimer, platform::FindLibraryEntry(D2XXLibHandle, "FT_SetLatencyTimer"));
    Store(D2XXOptionalSlots.FT_CreateDeviceInfoList,
          platform::FindLibraryEntry(D2XXLibHandle, "FT_CreateDeviceInfoList"));
    Store(D2XXOptionalSlots.FT_GetDeviceInfoDetail, platform::FindLibraryEntry(D2XXLibHandle, "FT_GetDeviceInfoDetail"));
    return ResolveD2XXEntryPoints(D2XXLibHandle);
}

FT_STATUS GetFTDeviceLatency(std::uint8_t& milliseconds) {
    if (D2XXSlots.FT_GetLatencyTimer == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_GetLatencyTimer(FTHandle, &milliseconds);
}

FT_STATUS SetFTDeviceLatency(std::uint8_t milliseconds) {
    if (D2XXOptionalSlots.FT_SetLatencyTimer == nullptr) return FT_NOT_SUPPORTED;
    return D2XXOptionalSlots.FT_SetLatencyTimer(FTHandle, milliseconds);
}

void UnloadD2XXLibrary() {
    platform::FreeLibraryHandle(D2XXLibHandle);
    D2XXLibHandle = 0;
}

FT_STATUS GetFTDeviceCount() {
    if (D2XXSlots.FT_ListDevicesCount == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_ListDevicesCount(&FTDeviceCount, nullptr, FT_LIST_NUMBER_ONLY);
}

namespace {

// FT_ListDevices by index for the description or the serial number (same buffer, same cut).
FT_STATUS ListDeviceString(std::int32_t index, std::uint32_t what, std::string& text) {
    if (D2XXSlots.FT_ListDevicesByIndex == nullptr) return FT_OTHER_ERROR;
    void* const indexArgument = reinterpret_cast<void*>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(index)));
    const FT_STATUS status = D2XXSlots.FT_ListDevicesByIndex(indexArgument, FTDescriptionBuffer, FT_LIST_BY_INDEX | what);
    if (status == FT_OK) {
        // The library may leave an over-long string without its NUL; cut at 49 characters.
        FTDescriptionBuffer[kMaxDescriptionLength] = '\0';
        text.assign(FTDescriptionBuffer);
    }
    return status;
}

// What discovery does to a device it has just opened.
void PrepareOpenedPrinter() {
    ResetFTDevice();
    PurgeFTDeviceTX();
    ResetFTDevice();
    PurgeFTDeviceRX();
    ResetFTDevice();
    SetFTDeviceTimeouts(kReadTimeoutMs, kWriteTimeoutMs);
}

}  // namespace

std::string FTDeviceSerial;

FT_STATUS GetFTDeviceDescription(std::int32_t index) {
    return ListDeviceString(index, FT_OPEN_BY_DESCRIPTION, FTDeviceDescription);
}

FT_STATUS GetFTDeviceSerial(std::int32_t index) { return ListDeviceString(index, FT_OPEN_BY_SERIAL_NUMBER, FTDeviceSerial); }

FT_STATUS OpenCardPrinterAt(std::int32_t index) {
    CloseCardPrinter();
    FTDeviceIndex = index;
    const FT_STATUS status = OpenFTDevice();
    if (status == FT_OK) PrepareOpenedPrinter();
    return status;
}

FT_STATUS OpenCardPrinterBySerial(const std::string& serial) {
    CloseCardPrinter();
    if (D2XXSlots.FT_OpenEx == nullptr) return FT_OTHER_ERROR;
    std::string argument = serial;
    const FT_STATUS status = D2XXSlots.FT_OpenEx(argument.data(), FT_OPEN_BY_SERIAL_NUMBER, &FTHandle);
    if (status == FT_OK) PrepareOpenedPrinter();
    return status;
}

FT_STATUS OpenCardPrinterAtLocation(std::uint32_t locationId) {
    CloseCardPrinter();
    if (D2XXSlots.FT_OpenEx == nullptr) return FT_OTHER_ERROR;
    void* const argument = reinterpret_cast<void*>(static_cast<std::uintptr_t>(locationId));
    const FT_STATUS status = D2XXSlots.FT_OpenEx(argument, FT_OPEN_BY_LOCATION, &FTHandle);
    if (status == FT_OK) PrepareOpenedPrinter();
    return status;
}

FT_STATUS GetFTDevicePlaces(std::vector<FTDevicePlace>& places) {
    places.clear();
    if (D2XXOptionalSlots.FT_CreateDeviceInfoList == nullptr || D2XXOptionalSlots.FT_GetDeviceInfoDetail == nullptr) {
        return FT_NOT_SUPPORTED;
    }
    std::uint32_t count = 0;
    FT_STATUS status = D2XXOptionalSlots.FT_CreateDeviceInfoList(&count);
    for (std::uint32_t i = 0; status == FT_OK && i < count; ++i) {
        std::uint32_t flags = 0, type = 0, id = 0;
        char serial[FT_SERIAL_BUFFER_SIZE + 1] = {};
        char description[FT_DESCRIPTION_BUFFER_SIZE + 1] = {};
        FT_HANDLE handle = nullptr;
        FTDevicePlace place;
        status = D2XXOptionalSlots.FT_GetDeviceInfoDetail(i, &flags, &type, &id, &place.locationId, serial, description,
                                                          &handle);
        place.serial = serial;
        places.push_back(place);
    }
    return status;
}

FT_STATUS OpenFTDevice() {
    if (D2XXSlots.FT_Open == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_Open(FTDeviceIndex, &FTHandle);
}

FT_STATUS CloseFTDevice() {
    const FT_STATUS status = D2XXSlots.FT_Close == nullptr ? FT_OTHER_ERROR : D2XXSlots.FT_Close(FTHandle);
    FTHandle = nullptr;
    return status;
}

FT_STATUS ResetFTDevice() {
    if (D2XXSlots.FT_ResetDevice == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_ResetDevice(FTHandle);
}

FT_STATUS PurgeFTDeviceTX() {
    if (D2XXSlots.FT_Purge == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_Purge(FTHandle, FT_PURGE_TX);
}

FT_STATUS PurgeFTDeviceRX() {
    if (D2XXSlots.FT_Purge == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_Purge(FTHandle, FT_PURGE_RX);
}

FT_STATUS SetFTDeviceTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    if (D2XXSlots.FT_SetTimeouts == nullptr) return FT_OTHER_ERROR;
    return D2XXSlots.FT_SetTimeouts(FTHandle, readTimeout, writeTimeout);
}

FT_STATUS GetFTDeviceQueueStatus() {
    FTLastStatus = D2XXSlots.FT_GetQueueStatus == nullptr ? FT_OTHER_ERROR
                                                          : D2XXSlots.FT_GetQueueStatus(FTHandle, &FTRxQueueBytes);
    return FTLastStatus;
}

std::uint32_t WriteFTDevice(std::uint32_t count) {
    FTLastStatus = FT_OTHER_ERROR;
    if (D2XXSlots.FT_Write == nullptr) return 0;
    count = std::min(count, kLinkBufferSize);
    std::uint32_t written = 0;
    FTLastStatus = D2XXSlots.FT_Write(FTHandle, FTOutBuffer, count, &written);
    return std::min(written, count);
}

std::uint32_t ReadFTDevice(std::uint32_t count) {
    FTLastStatus = FT_OTHER_ERROR;
    if (D2XXSlots.FT_Read == nullptr) return 0;
    count = std::min(count, kLinkBufferSize);
    std::uint32_t received = 0;
    FTLastStatus = D2XXSlots.FT_Read(FTHandle, FTInBuffer, count, &received);
    return std::min(received, count);
}

bool IsCardPrinterLinkHeld() { return reinterpret_cast<std::uintptr_t>(FTHandle) > 32; }

bool IsCardPrinterDescription(const std::string& description) {
    const std::string upper = AsciiUpper(description);
    return upper == "VELDOR KX-4700" || upper == "CARD PRINTER";
}

bool FindCardPrinter() {
    if (GetFTDeviceCount() != FT_OK) {
        ShowDiscoveryError("Get device count error.");
        return false;
    }
    if (FTDeviceCount == 0) {
        ShowDiscoveryError("USB device not found.");
        return false;
    }
    CloseCardPrinter();
    for (std::uint32_t i = 0; i < FTDeviceCount; ++i) {
        const auto index = static_cast<std::int32_t>(i);
        if (GetFTDeviceDescription(index) != FT_OK) continue;
        if (!IsCardPrinterDescription(FTDeviceDescription)) continue;
        FTDeviceIndex = index;
        if (OpenFTDevice() != FT_OK) continue;
        PrepareOpenedPrinter();
        return true;
    }
    ShowDiscoveryError("Card Printer not found.");
    return false;
}

void CloseCardPrinter() {
    if (IsCardPrinterLinkHeld()) CloseFTDevice();
}
