// Our own declarations of the FTDI D2XX library's types, status values and the entry points we
// call, written from FTDI's published D2XX Programmer's Guide. 32-bit values are uint32_t on every
// platform (the library's DWORD and ULONG), so the layout is right on 64-bit Linux too.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define FT_API __stdcall
#else
#define FT_API
#endif

using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

// A status's name ("FT_IO_ERROR"), or its number.
inline std::string FTStatusName(FT_STATUS status) {
    switch (status) {
        case FT_OK: return "FT_OK";
        case FT_INVALID_HANDLE: return "FT_INVALID_HANDLE";
        case FT_DEVICE_NOT_FOUND: return "FT_DEVICE_NOT_FOUND";
        case FT_DEVICE_NOT_OPENED: return "FT_DEVICE_NOT_OPENED";
        case FT_IO_ERROR: return "FT_IO_ERROR";
        case FT_INSUFFICIENT_RESOURCES: return "FT_INSUFFICIENT_RESOURCES";
        case FT_INVALID_PARAMETER: return "FT_INVALID_PARAMETER";
        case FT_INVALID_BAUD_RATE: return "FT_INVALID_BAUD_RATE";
        case FT_NOT_SUPPORTED: return "FT_NOT_SUPPORTED";
        case FT_OTHER_ERROR: return "FT_OTHER_ERROR";
        default: break;
    }
    return std::to_string(status);
}

// FT_ListDevices flags.
constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000u;
constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1u;
constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2u;
constexpr std::uint32_t FT_OPEN_BY_LOCATION = 4u;  // FT_OpenEx's argument is the location id itself

// FT_Purge masks.
constexpr std::uint32_t FT_PURGE_RX = 1u;
constexpr std::uint32_t FT_PURGE_TX = 2u;

// Description buffers hold 64 bytes; an over-long description may come back without a NUL.
constexpr std::uint32_t FT_DESCRIPTION_BUFFER_SIZE = 64u;

using FT_OpenProc = FT_STATUS(FT_API*)(int deviceNumber, FT_HANDLE* handle);
using FT_CloseProc = FT_STATUS(FT_API*)(FT_HANDLE handle);
using FT_ReadProc = FT_STATUS(FT_API*)(FT_HANDLE handle, void* buffer, std::uint32_t bytesToRead,
                                       std::uint32_t* bytesReturned);
using FT_WriteProc = FT_STATUS(FT_API*)(FT_HANDLE handle, void* buffer, std::uint32_t bytesToWrite,
                                        std::uint32_t* bytesWritten);
using FT_ResetDeviceProc = FT_STATUS(FT_API*)(FT_HANDLE handle);
using FT_PurgeProc = FT_STATUS(FT_API*)(FT_HANDLE handle, std::uint32_t mask);
using FT_SetTimeoutsProc = FT_STATUS(FT_API*)(FT_HANDLE handle, std::uint32_t readTimeout,
                                              std::uint32_t writeTimeout);
using FT_GetQueueStatusProc = FT_STATUS(FT_API*)(FT_HANDLE handle, std::uint32_t* rxBytes);
// FT_ListDevices in its two shapes: the count form passes the address of a 32-bit count and a null
// second argument; the by-index form passes the index itself as the first, pointer-sized argument.
using FT_ListDevicesCountProc = FT_STATUS(FT_API*)(std::uint32_t* count, void* unused,
                                                   std::uint32_t flags);
using FT_ListDevicesByIndexProc = FT_STATUS(FT_API*)(void* index, char* description,
                                                     std::uint32_t flags);
// FT_OpenEx: the first argument points at the serial number or description to open by.
using FT_OpenExProc = FT_STATUS(FT_API*)(void* arg, std::uint32_t flags, FT_HANDLE* handle);
// The chip's latency timer, in milliseconds (1 to 255).
using FT_GetLatencyTimerProc = FT_STATUS(FT_API*)(FT_HANDLE handle, std::uint8_t* latency);
using FT_SetLatencyTimerProc = FT_STATUS(FT_API*)(FT_HANDLE handle, std::uint8_t latency);
// The device information list: FT_CreateDeviceInfoList takes a snapshot of the attached devices and
// counts them; FT_GetDeviceInfoDetail tells one entry of that snapshot (serial number in 16 bytes,
// description in 64; the handle is the caller's own when it has the device open, else null).
using FT_CreateDeviceInfoListProc = FT_STATUS(FT_API*)(std::uint32_t* count);
using FT_GetDeviceInfoDetailProc = FT_STATUS(FT_API*)(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                                      std::uint32_t* id, std::uint32_t* locationId, void* serial,
                                                      void* description, FT_HANDLE* handle);
constexpr std::uint32_t FT_SERIAL_BUFFER_SIZE = 16u;
constexpr std::uint32_t FT_FLAGS_OPENED = 1u;     // another process has the device open
constexpr std::uint32_t FT_FLAGS_HISPEED = 2u;
constexpr std::uint32_t FT_DEVICE_UNKNOWN = 3u;

// Entry points that must be present but that we never call.
using FT_UnusedProc = void*;
