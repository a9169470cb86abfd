// planted.dll: stands for a DLL an attacker drops beside the installer. When
// any process loads it, it appends its own path and the process's to
// C:\planted.log and refuses to load.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t line[2 * MAX_PATH + 4] = {0};
    DWORD n = GetModuleFileNameW(self, line, MAX_PATH);
    line[n++] = L' ';
    n += GetModuleFileNameW(nullptr, line + n, MAX_PATH);
    line[n++] = L'\r';
    line[n++] = L'\n';
    HANDLE log = CreateFileW(L"C:\\planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, line, n * sizeof(wchar_t), &written, nullptr);
        CloseHandle(log);
    }
    return FALSE;
}
