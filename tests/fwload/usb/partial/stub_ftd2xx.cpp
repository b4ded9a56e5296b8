// A D2XX library that exports every name the binding resolves but the last, FT_EE_Program. Each
// export returns its own name, so a test can tell which slot holds which.
#include "TestExport.h"

#define STUB(name) TEST_EXPORT const char* name() { return #name; }
STUB(FT_Open) STUB(FT_Close) STUB(FT_Read) STUB(FT_Write) STUB(FT_SetBaudRate) STUB(FT_SetDataCharacteristics)
STUB(FT_SetFlowControl) STUB(FT_ResetDevice) STUB(FT_SetDtr) STUB(FT_ClrDtr) STUB(FT_SetRts) STUB(FT_ClrRts)
STUB(FT_GetModemStatus) STUB(FT_SetChars) STUB(FT_Purge) STUB(FT_SetTimeouts) STUB(FT_GetQueueStatus)
STUB(FT_ListDevices) STUB(FT_OpenEx) STUB(FT_GetLatencyTimer) STUB(FT_EE_Read) STUB(FT_EE_ReadEx) STUB(FT_EraseEE)
#undef STUB
