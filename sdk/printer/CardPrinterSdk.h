// The card printer SDK operations that our four programs call, as C function-pointer types: every
// result a signed 32-bit code (0 is success), texts NUL-terminated 8-bit strings, integers passed by
// address signed 32-bit, character arguments as their code in a 32-bit value.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define SDK_API __stdcall
#else
#define SDK_API
#endif

extern "C" {

// Opens the printer: an empty description and 0 select the attached printer.
typedef std::int32_t(SDK_API* OpenDeviceProc)(const char* description, std::int32_t type);
typedef std::int32_t(SDK_API* CloseDeviceProc)(std::int32_t type);

// Sensor position: 0 OLD, 1 NEW.
typedef std::int32_t(SDK_API* GetSensorPosProc)(std::int32_t* position);
typedef std::int32_t(SDK_API* SetSensorPosProc)(std::int32_t position);

// Three texts of at most 20 bytes each (NUL included); the third is the serial number.
typedef std::int32_t(SDK_API* GetProductionProc)(char* first, char* second, char* serial);

// Printer commands passed through unchanged; a reply of at most 10 bytes is fetched after a send
// whose last argument is 1.
typedef std::int32_t(SDK_API* DeviceDirectSend2Proc)(std::uint8_t* bytes, std::int32_t count, std::int32_t channel,
                                                     std::int32_t replyFollows);
typedef std::int32_t(SDK_API* DeviceDirectGet2Proc)(std::uint8_t* reply, std::int32_t* length);

// Ribbon sensor.
typedef std::int32_t(SDK_API* GetRibbonSensorExProc)(std::int32_t* first, std::int32_t* second);
typedef std::int32_t(SDK_API* SetRibbonSensorProc)();
typedef std::int32_t(SDK_API* N_SaveConfigurationDataProc)(std::int32_t step);

// Printer status: 0 once the printer answers; the two bytes are not needed by our programs.
typedef std::int32_t(SDK_API* Get_StatusExProc)(std::uint8_t* status, std::uint8_t* detail);

// Display memory: 17, the line '0'..'3', the kind or attribute byte, the text.
typedef std::int32_t(SDK_API* UserLCDMemoryWriteProc)(std::int32_t area, std::int32_t line, std::int32_t kind,
                                                      const char* text);
typedef std::int32_t(SDK_API* UserLCDMemoryWriteExProc)(std::int32_t area, std::int32_t line, std::int32_t kind,
                                                        const char* text);
// Switches the display: 9, 0, 0.
typedef std::int32_t(SDK_API* LCD_DISPLAYProc)(std::int32_t mode, std::int32_t first, std::int32_t second);

}  // extern "C"
