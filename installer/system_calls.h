// The installer's calls into shell32, ole32 and comctl32. These libraries
// are loaded at run time, after WinMain has restricted the DLL search to
// the system folder: imported the usual way, they and what they import in
// turn (shcore, for one) would be looked for beside the installer, often a
// downloads folder, before any code of ours runs.
//
// The pointers carry the platform's own names and types, so call sites
// read like the plain calls: sys::ShellExecuteA(...).
#ifndef INSTALLER_SYSTEM_CALLS_H
#define INSTALLER_SYSTEM_CALLS_H

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

namespace sys {

extern decltype(&::ShellExecuteA) ShellExecuteA;
extern decltype(&::SHGetMalloc) SHGetMalloc;
extern decltype(&::SHBrowseForFolderA) SHBrowseForFolderA;
extern decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA;
extern decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
extern decltype(&::CoInitialize) CoInitialize;
extern decltype(&::CoUninitialize) CoUninitialize;
extern decltype(&::CoCreateInstance) CoCreateInstance;
extern decltype(&::CoTaskMemFree) CoTaskMemFree;
extern decltype(&::InitCommonControlsEx) InitCommonControlsEx;

// Loads the three libraries from the system folder and finds every entry
// point; false when any is missing (then none of the pointers may be used).
bool LoadSystemCalls();

}  // namespace sys

#endif
