// The installer's entry and its flow: the choice dialog, then the read-me
// branch (back to the choice) or the install branch (to the end).
#include <cstring>

#include "installer/installer.h"
#include "installer/system_calls.h"

#include "resources/resource.h"

namespace {

const char kOptionKey[] = "Software\\Tallowen\\Quorvalinex\\Option";
const char kFolderValue[] = "ProgramFolder";

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// The installer runs with raised rights from a downloads folder: a DLL
// planted beside it or in the current folder must never be loaded. The
// call is looked up at run time because older systems lack it.
void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel != nullptr) {
        SetDefaultDllDirectoriesFn setDefault = (SetDefaultDllDirectoriesFn)(void*)GetProcAddress(
            kernel, "SetDefaultDllDirectories");
        if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryA("");
}

INT_PTR RunDialog(int id, DLGPROC procedure) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(id), nullptr, procedure, 0);
}

// A truncated own path would name another file: leave it empty instead, so
// the engine fails to open it and the user is told.
void StoreModulePath(HINSTANCE instance) {
    DWORD length = GetModuleFileNameA(instance, g_modulePath, kPathSize);
    if (length == 0 || length >= (DWORD)kPathSize) g_modulePath[0] = '\0';
}

void RunReadMeBranch() {
    memcpy(g_folder, g_modulePath, sizeof g_folder);
    CutAfterLastBackslash(g_folder);
    g_member[0] = '\0';
    AppendText(g_member, kPathSize, kReadMeMember);
    if (RunDialog(IDD_FOLDER, FolderDlgProc) != IDOK) return;
    if (RunDialog(IDD_EXTRACT, ExtractDlgProc) != IDOK) {
        ReportExtractError();
        return;
    }
    // Dialog 103 accepted only a folder with room for the member's name.
    AppendText(g_folder, kPathSize, g_member);
    sys::ShellExecuteA(nullptr, "open", g_folder, nullptr, nullptr, SW_SHOWNORMAL);
}

// Whatever bytes the value holds become the folder text, cut at the length
// returned. A failed query may have written into the buffer, so it is
// emptied again.
void ReadRegistryFolder() {
    g_folder[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD size = kPathSize - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, kFolderValue, nullptr, &type, (BYTE*)g_folder, &size) ==
            ERROR_SUCCESS &&
        size <= (DWORD)kPathSize - 1)
        g_folder[size] = '\0';
    else
        g_folder[0] = '\0';
    RegCloseKey(key);
}

// The Windows drive's root (or the whole Windows folder when it is not
// on a drive) followed by the default folder's tail.
void ComputeDefaultFolder() {
    UINT length = GetWindowsDirectoryA(g_folder, kPathSize);
    if (length == 0 || length >= (UINT)kPathSize) g_folder[0] = '\0';
    DriveRootOf(g_folder, kPathSize);
    LoadStringA(g_instance, IDS_DEFAULT_FOLDER, g_text, kTextSize);
    // A text that no longer fits is refused by dialog 103, which shows it.
    AppendText(g_folder, kPathSize, g_text);
    AppendText(g_folder, kPathSize, "\\");
}

// True when every member was extracted; false to go back to the choice.
bool RunInstallBranch() {
    ReadRegistryFolder();
    if (g_folder[0] == '\0' && AskYesNo(nullptr, IDS_ASK_SEARCH, nullptr)) {
        if (RunDialog(IDD_SEARCH, SearchDlgProc) != IDOK) return false;
    }
    g_member[0] = '\0';
    bool askFolder = true;
    if (g_folder[0] != '\0') {
        askFolder = !AskYesNo(nullptr, IDS_ASK_OVERWRITE_INSTALL, g_folder);
        // A folder used as found must take the separator and the file name;
        // one too long for that goes to the folder dialog, which says so.
        if (!askFolder && !PrepareInstallFolder(g_folder, kExeName)) {
            ShowError(nullptr, IDS_ERR_BAD_PATH);
            askFolder = true;
        }
    } else {
        ComputeDefaultFolder();
    }
    g_addStartMenu = false;
    g_addDesktop = false;
    if (askFolder && RunDialog(IDD_FOLDER, FolderDlgProc) != IDOK) return false;
    if (RunDialog(IDD_EXTRACT, ExtractDlgProc) != IDOK) {
        ReportExtractError();
        return false;
    }
    return true;
}

void MakeShortcut(IMalloc* allocator, int folderId, UINT nameId) {
    LPITEMIDLIST item = nullptr;
    if (FAILED(sys::SHGetSpecialFolderLocation(nullptr, folderId, &item)) || item == nullptr) return;
    if (sys::SHGetPathFromIDListA(item, g_text) && AppendBackslashIfMissing(g_text, kTextSize)) {
        LoadStringA(g_instance, nameId, g_caption, kTextSize);
        if (AppendText(g_text, kTextSize, g_caption) && AppendText(g_text, kTextSize, ".lnk"))
            CreateShortcut(g_folder, g_text, g_caption);
    }
    if (allocator != nullptr)
        allocator->Free(item);
    else
        sys::CoTaskMemFree(item);
}

void FinishInstall() {
    // Every folder that reaches here has room for the name (dialog 103 or
    // PrepareInstallFolder).
    AppendText(g_folder, kPathSize, kExeName);
    if (g_addStartMenu || g_addDesktop) {
        sys::CoInitialize(nullptr);
        IMalloc* allocator = nullptr;
        sys::SHGetMalloc(&allocator);
        if (g_addStartMenu) MakeShortcut(allocator, CSIDL_PROGRAMS, IDS_START_MENU_NAME);
        if (g_addDesktop) MakeShortcut(allocator, CSIDL_DESKTOP, IDS_DESKTOP_NAME);
        if (allocator != nullptr) allocator->Release();
        sys::CoUninitialize();
    }
    if (AskYesNo(nullptr, IDS_ASK_LAUNCH, nullptr))
        sys::ShellExecuteA(nullptr, "open", g_folder, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    // Only a damaged system lacks these; without them no dialog could work.
    if (!sys::LoadSystemCalls()) return 0;
    // Dialog 102 holds a progress bar, whose class must exist before it.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    sys::InitCommonControlsEx(&controls);

    g_instance = instance;
    StoreModulePath(instance);
    for (;;) {
        INT_PTR choice = RunDialog(IDD_MENU, MenuDlgProc);
        if (choice == IDC_VIEW_README) {
            RunReadMeBranch();
        } else if (choice == IDC_INSTALL) {
            if (RunInstallBranch()) break;
        } else {
            return 0;
        }
    }
    FinishInstall();
    return 0;
}
