// The FTDI D2XX binding and the printer link: the library bound by name at run time, one table of
// entry points, and the one open connection to the card printer with its fixed 64 KiB buffers.
// Process-global and unsynchronised: used from the window's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "D2XXTypes.h"
#include "DynamicLibrary.h"

// The entry-point table, filled in this order by LoadD2XXLibrary.
struct D2XXEntryPoints {
    FT_OpenProc FT_Open = nullptr;
    FT_CloseProc FT_Close = nullptr;
    FT_ReadProc FT_Read = nullptr;
    FT_WriteProc FT_Write = nullptr;
    FT_UnusedProc FT_SetBaudRate = nullptr;
    FT_UnusedProc FT_SetDataCharacteristics = nullptr;
    FT_UnusedProc FT_SetFlowControl = nullptr;
    FT_ResetDeviceProc FT_ResetDevice = nullptr;
    FT_UnusedProc FT_SetDtr = nullptr;
    FT_UnusedProc FT_ClrDtr = nullptr;
    FT_UnusedProc FT_SetRts = nullptr;
    FT_UnusedProc FT_ClrRts = nullptr;
    FT_UnusedProc FT_GetModemStatus = nullptr;
    FT_UnusedProc FT_SetChars = nullptr;
    FT_PurgeProc FT_Purge = nullptr;
    FT_SetTimeoutsProc FT_SetTimeouts = nullptr;
    FT_GetQueueStatusProc FT_GetQueueStatus = nullptr;
    FT_ListDevicesCountProc FT_ListDevicesCount = nullptr;      // FT_ListDevices, count form
    FT_ListDevicesByIndexProc FT_ListDevicesByIndex = nullptr;  // FT_ListDevices, by-index form
    FT_OpenExProc FT_OpenEx = nullptr;  // fwload-cli's choice by serial number
    FT_GetLatencyTimerProc FT_GetLatencyTimer = nullptr;  // fwload-cli --fast
    FT_UnusedProc FT_EE_Read = nullptr;
    FT_UnusedProc FT_EE_ReadEx = nullptr;
    FT_UnusedProc FT_EraseEE = nullptr;
    FT_UnusedProc FT_EE_Program = nullptr;
};

constexpr int kD2XXEntryPointCount = 25;

// Entry points looked up apart from the table: a library without them binds all the same.
struct D2XXOptionalEntryPoints {
    FT_SetLatencyTimerProc FT_SetLatencyTimer = nullptr;
    FT_CreateDeviceInfoListProc FT_CreateDeviceInfoList = nullptr;  // fwload-cli's choice by location
    FT_GetDeviceInfoDetailProc FT_GetDeviceInfoDetail = nullptr;
};
extern D2XXOptionalEntryPoints D2XXOptionalSlots;

// Module handle of the D2XX library; below 32 means not loaded.
extern platform::LibraryHandle D2XXLibHandle;
extern D2XXEntryPoints D2XXSlots;

// Binds "ftd2xx.dll" (libftd2xx.so outside Windows, the program's directory first). True at once
// when already bound. Resolves the 25 slots in order and stops at the first missing name with
// false, leaving the library loaded until UnloadD2XXLibrary.
bool LoadD2XXLibrary();
// Releases the library and forgets its handle; the slots keep their values.
void UnloadD2XXLibrary();
// Fills the slots from an already loaded library, in order, stopping at the first missing name.
bool ResolveD2XXEntryPoints(platform::LibraryHandle library);

// Link state.
constexpr std::uint32_t kLinkBufferSize = 65536;
constexpr std::size_t kMaxDescriptionLength = 49;

extern FT_HANDLE FTHandle;               // open printer, or 0; held while above 32
extern std::int32_t FTDeviceIndex;       // index that OpenFTDevice opens
extern std::uint32_t FTDeviceCount;      // set by GetFTDeviceCount
extern char FTDescriptionBuffer[FT_DESCRIPTION_BUFFER_SIZE];
extern std::string FTDeviceDescription;  // last description read, at most 49 characters
extern std::uint32_t FTRxQueueBytes;     // set by GetFTDeviceQueueStatus
extern FT_STATUS FTLastStatus;           // status of the last write, read or queue query
extern std::uint8_t FTInBuffer[kLinkBufferSize];
extern std::uint8_t FTOutBuffer[kLinkBufferSize];

// Link operations: one library call each, nothing shown, nothing allocated (but the description).
// Each returns the library's status, or FT_OTHER_ERROR when its slot is empty.
FT_STATUS GetFTDeviceCount();
FT_STATUS GetFTDeviceDescription(std::int32_t index);
FT_STATUS OpenFTDevice();
FT_STATUS CloseFTDevice();  // FTHandle is 0 afterwards, whatever the status
FT_STATUS ResetFTDevice();
FT_STATUS PurgeFTDeviceTX();
FT_STATUS PurgeFTDeviceRX();
FT_STATUS SetFTDeviceTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout);
FT_STATUS GetFTDeviceQueueStatus();
// Write the first count bytes of FTOutBuffer / read up to count bytes into FTInBuffer. They return
// the number of bytes moved (0 when the library reported none), never more than count or 65,536.
std::uint32_t WriteFTDevice(std::uint32_t count);
std::uint32_t ReadFTDevice(std::uint32_t count);

// True when a link is held (FTHandle above 32, compared unsigned).
bool IsCardPrinterLinkHeld();

// Discovery: opens the lowest-indexed device described "VELDOR KX-4700" or "CARD PRINTER" (ASCII
// case ignored, nothing trimmed) that opens, resets and purges it and sets timeouts of 10 ms (read)
// and 2000 ms (write). On failure shows "Get device count error.", "USB device not found." or
// "Card Printer not found." (caption "Error", information icon) and returns false.
bool FindCardPrinter();
// Closes the link when one is held; otherwise does nothing.
void CloseCardPrinter();

// For a chosen printer (fwload-cli): the device's serial number by index (FTDeviceSerial), and
// opening one device, by index or by serial number, with discovery's resets, purges and timeouts.
// Nothing is shown; the library's status is returned.
extern std::string FTDeviceSerial;  // last serial number read, at most 49 characters
FT_STATUS GetFTDeviceSerial(std::int32_t index);
FT_STATUS OpenCardPrinterAt(std::int32_t index);
FT_STATUS OpenCardPrinterBySerial(const std::string& serial);
FT_STATUS OpenCardPrinterAtLocation(std::uint32_t locationId);

// Where each attached device sits, through the device information list: its location id and
// serial number, by index. FT_NOT_SUPPORTED when the library has no such list.
struct FTDevicePlace {
    std::uint32_t locationId = 0;
    std::string serial;
};
FT_STATUS GetFTDevicePlaces(std::vector<FTDevicePlace>& places);

// The open printer's latency timer (fwload-cli --fast). FT_NOT_SUPPORTED when the library lacks
// FT_SetLatencyTimer.
FT_STATUS GetFTDeviceLatency(std::uint8_t& milliseconds);
FT_STATUS SetFTDeviceLatency(std::uint8_t milliseconds);

// The two descriptions that discovery accepts, compared after ASCII upper-casing.
bool IsCardPrinterDescription(const std::string& description);
