// fwload's binding of the card printer SDK library: a module handle and one slot per operation the
// program knows of, all filled in one pass when the library is loaded. Process-global, used from
// the window's thread only. Only the four operations fwload calls are typed.
#pragma once

#include "CardPrinterSdk.h"
#include "DynamicLibrary.h"

using KX47XXUntypedProc = void*;

// X(name, type) for each entry point, in the order in which they are resolved.
#define KX47XX_ENTRY_POINTS(X)                                                                             \
    X(SetLogPathFile, KX47XXUntypedProc) X(SetLogPathFileMonth, KX47XXUntypedProc)                         \
    X(SetConnectPort, KX47XXUntypedProc) X(SetDescription, KX47XXUntypedProc)                              \
    X(ListDevices, KX47XXUntypedProc) X(OpenDeviceEx, KX47XXUntypedProc) X(SetOpenType, KX47XXUntypedProc) \
    X(OpenDevice, KX47XXUntypedProc) X(CloseDevice, KX47XXUntypedProc) X(ResetDevice, KX47XXUntypedProc)   \
    X(Get_PrinterInfo, KX47XXUntypedProc) X(Get_ModuleInfo, KX47XXUntypedProc)                            \
    X(GetMACAddress, KX47XXUntypedProc) X(Get_Status, KX47XXUntypedProc) X(Get_StatusEx, Get_StatusExProc) \
    X(DeviceErrorClear, KX47XXUntypedProc) X(Set_LanguageID, KX47XXUntypedProc)                           \
    X(Get_StatusMessage, KX47XXUntypedProc) X(CheckFeeder, KX47XXUntypedProc)                             \
    X(Card_Insert, KX47XXUntypedProc) X(Card_Eject, KX47XXUntypedProc) X(Card_Flip, KX47XXUntypedProc)    \
    X(SetCardInputDirection, KX47XXUntypedProc) X(SetCardInputOption, KX47XXUntypedProc)                  \
    X(SetCardReadyPosition, KX47XXUntypedProc) X(MS_Read, KX47XXUntypedProc) X(MS_Write, KX47XXUntypedProc) \
    X(MS_WriteEx, KX47XXUntypedProc) X(MS_ReadAll, KX47XXUntypedProc) X(MS_WriteAll, KX47XXUntypedProc)   \
    X(CheckBoardType, KX47XXUntypedProc) X(CheckSIM, KX47XXUntypedProc) X(CheckSAM, KX47XXUntypedProc)    \
    X(IC_ContactOn, KX47XXUntypedProc) X(IC_Eject, KX47XXUntypedProc) X(IC_PowerOn, KX47XXUntypedProc)    \
    X(IC_PowerOff, KX47XXUntypedProc) X(IC_Input, KX47XXUntypedProc) X(IC_Output, KX47XXUntypedProc)      \
    X(RF_CardInsert, KX47XXUntypedProc) X(RF_CardCheck, KX47XXUntypedProc) X(RF_PowerOn, KX47XXUntypedProc) \
    X(RF_PowerOnEx, KX47XXUntypedProc) X(RF_PowerOff, KX47XXUntypedProc) X(RF_Read, KX47XXUntypedProc)   \
    X(RF_Write, KX47XXUntypedProc) X(RF_Increment, KX47XXUntypedProc) X(RF_Decrement, KX47XXUntypedProc)  \
    X(TextToBmpMake, KX47XXUntypedProc) X(TextToBmpMakeEx, KX47XXUntypedProc)                             \
    X(ColorTextToBmpMakeEx, KX47XXUntypedProc) X(Image_Adjust, KX47XXUntypedProc)                         \
    X(SetRibbonType, KX47XXUntypedProc) X(Image_SaveMode, KX47XXUntypedProc)                              \
    X(Image_Buffer_Clear, KX47XXUntypedProc) X(Image_Send, KX47XXUntypedProc) X(Image_SendEx, KX47XXUntypedProc) \
    X(Image_ProcessSend, KX47XXUntypedProc) X(Image_VarnishSend, KX47XXUntypedProc)                       \
    X(Image_VarnishSendEx, KX47XXUntypedProc) X(Image_Overlay, KX47XXUntypedProc)                         \
    X(Image_Print, KX47XXUntypedProc) X(Image_PrintEx, KX47XXUntypedProc) X(Print_Panel, KX47XXUntypedProc) \
    X(SetColorAdjust, KX47XXUntypedProc) X(CheckRibbon, KX47XXUntypedProc)                                \
    X(SetMonoPrintMode, KX47XXUntypedProc) X(SetTPHResistance, KX47XXUntypedProc)                         \
    X(AdjustIntensity, KX47XXUntypedProc) X(OffsetXaxisPrintStartPosition, KX47XXUntypedProc)             \
    X(OffsetYaxisPrintStartPosition, KX47XXUntypedProc) X(GetParameters, KX47XXUntypedProc)              \
    X(GetRibbonSensor, KX47XXUntypedProc) X(PrintPintAdjust, KX47XXUntypedProc)                           \
    X(GetRibbonInfo, KX47XXUntypedProc) X(SetRibbonSync, KX47XXUntypedProc)                               \
    X(SetRibbonSyncOption, KX47XXUntypedProc) X(Buzzer, KX47XXUntypedProc) X(LCD_DISPLAY, LCD_DISPLAYProc) \
    X(UserLCDMemoryWrite, UserLCDMemoryWriteProc) X(UserLCDMemoryWriteEx, UserLCDMemoryWriteExProc)        \
    X(UserLCDMemoryRead, KX47XXUntypedProc) X(UserLCDMemoryReadEx, KX47XXUntypedProc)                     \
    X(UserMemoryInit, KX47XXUntypedProc) X(UserMemoryWrite, KX47XXUntypedProc)                            \
    X(UserMemoryRead, KX47XXUntypedProc) X(UserMemoryInitEx, KX47XXUntypedProc)                           \
    X(UserMemoryWriteEx, KX47XXUntypedProc) X(UserMemoryReadEx, KX47XXUntypedProc)                        \
    X(DeviceDirectSend, KX47XXUntypedProc) X(DeviceDirectSend2, KX47XXUntypedProc)                        \
    X(DeviceDirectGet2, KX47XXUntypedProc)

// The slots, each named as the entry point it holds; empty until a load finds the export.
struct KX47XXEntryPoints {
#define KX47XX_DECLARE_SLOT(name, type) type name = nullptr;
    KX47XX_ENTRY_POINTS(KX47XX_DECLARE_SLOT)
#undef KX47XX_DECLARE_SLOT
};

constexpr int kKX47XXEntryPointCount = 92;
static_assert(sizeof(KX47XXEntryPoints) == kKX47XXEntryPointCount * sizeof(void*),
              "one slot per entry point, and no other member");

// Module handle of the SDK library; below 32 means not loaded.
extern platform::LibraryHandle KX47XXLibHandle;
extern KX47XXEntryPoints KX47XXSlots;

// Loads the library by the given name (fwload passes "crdprt.dll"; the platform's search applies)
// and looks up all 92 entry points in order; a missing export leaves its slot empty and the load
// still succeeds. True at once, looking nothing up, when a library is already loaded. False, with
// no slot touched, when the library cannot be loaded.
bool LoadKX47XXLibrary(const char* libraryName);
// Releases the library (harmless when none is loaded) and forgets its handle. No slot may be
// called until the next successful load has filled them again.
void UnloadKX47XXLibrary();
