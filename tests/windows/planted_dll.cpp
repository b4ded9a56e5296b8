// A DLL that must never be loaded: put in the folder a program is started from under the names of
// the libraries the programs load, it leaves a mark (the file PLANTED_MARK names) when it is.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char mark[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("PLANTED_MARK", mark, sizeof mark);
    if (length == 0 || length >= sizeof mark) return TRUE;
    const HANDLE file = CreateFileA(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}
