#include "installer/system_calls.h"

#include "installer/path_text.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace sys {

decltype(&::ShellExecuteA) ShellExecuteA;
decltype(&::SHGetMalloc) SHGetMalloc;
decltype(&::SHBrowseForFolderA) SHBrowseForFolderA;
decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA;
decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
decltype(&::CoInitialize) CoInitialize;
decltype(&::CoUninitialize) CoUninitialize;
decltype(&::CoCreateInstance) CoCreateInstance;
decltype(&::CoTaskMemFree) CoTaskMemFree;
decltype(&::InitCommonControlsEx) InitCommonControlsEx;

namespace {

// By name with the system-folder flag, so that the manifest's redirection
// to common controls 6 still applies; systems that do not know the flag
// refuse it, and get the library by its full path in the system folder.
HMODULE LoadFromSystemFolder(const char* name) {
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr) return module;
    char path[kPathSize];
    UINT length = GetSystemDirectoryA(path, kPathSize);
    if (length == 0 || length >= (UINT)kPathSize) return nullptr;
    if (!AppendText(path, kPathSize, "\\") || !AppendText(path, kPathSize, name)) return nullptr;
    return LoadLibraryA(path);
}

template <typename Function>
bool Find(HMODULE module, const char* name, Function* out) {
    if (module == nullptr) return false;
    *out = (Function)(void*)GetProcAddress(module, name);
    return *out != nullptr;
}

}  // namespace

bool LoadSystemCalls() {
    HMODULE shell = LoadFromSystemFolder("shell32.dll");
    HMODULE ole = LoadFromSystemFolder("ole32.dll");
    HMODULE controls = LoadFromSystemFolder("comctl32.dll");
    return Find(shell, "ShellExecuteA", &ShellExecuteA) &&
           Find(shell, "SHGetMalloc", &SHGetMalloc) &&
           Find(shell, "SHBrowseForFolderA", &SHBrowseForFolderA) &&
           Find(shell, "SHGetPathFromIDListA", &SHGetPathFromIDListA) &&
           Find(shell, "SHGetSpecialFolderLocation", &SHGetSpecialFolderLocation) &&
           Find(ole, "CoInitialize", &CoInitialize) &&
           Find(ole, "CoUninitialize", &CoUninitialize) &&
           Find(ole, "CoCreateInstance", &CoCreateInstance) &&
           Find(ole, "CoTaskMemFree", &CoTaskMemFree) &&
           Find(controls, "InitCommonControlsEx", &InitCommonControlsEx);
}

}  // namespace sys
