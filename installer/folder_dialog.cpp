// Dialog 103: the destination folder, typed or browsed, and in install mode
// the two shortcut choices. It never creates the folder: the engine does.
#include <cstring>

#include "installer/installer.h"
#include "installer/system_calls.h"

#include "resources/resource.h"

namespace {

bool ReadMeMode() { return g_member[0] != '\0'; }

// Read-me mode hides the check boxes and closes the gap: the buttons rise
// to where the first check box stood and the window loses that height.
void HideShortcutChoices(HWND window) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    RECT box;
    GetWindowRect(GetDlgItem(window, IDC_ADD_START_MENU), &box);
    ShowWindow(GetDlgItem(window, IDC_ADD_START_MENU), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDC_ADD_DESKTOP), SW_HIDE);

    RECT ok;
    GetWindowRect(GetDlgItem(window, IDOK), &ok);
    int rise = ok.top - box.top;
    const int buttons[] = {IDOK, IDCANCEL};
    for (int id : buttons) {
        HWND button = GetDlgItem(window, id);
        RECT r;
        GetWindowRect(button, &r);
        OffsetRect(&r, -origin.x, -(origin.y + rise));
        MoveWindow(button, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
    RECT frame;
    GetWindowRect(window, &frame);
    MoveWindow(window, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top - rise, TRUE);
}

void OnInitDialog(HWND window) {
    if (ReadMeMode()) {
        HideShortcutChoices(window);
    } else {
        g_addStartMenu = true;
        g_addDesktop = true;
        SendDlgItemMessageA(window, IDC_ADD_START_MENU, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(window, IDC_ADD_DESKTOP, BM_SETCHECK, BST_CHECKED, 0);
    }
    LoadStringA(g_instance, ReadMeMode() ? IDS_README_FOLDER : IDS_INSTALL_FOLDER, g_text,
                kTextSize);
    SetDlgItemTextA(window, IDC_FOLDER_LABEL, g_text);
    SendDlgItemMessageA(window, IDC_FOLDER_EDIT, EM_LIMITTEXT, kPathSize - 1, 0);
    SetDlgItemTextA(window, IDC_FOLDER_EDIT, g_folder);
}

// The edit text made absolute, normalised into `bare` (no final backslash
// unless a drive root) and `folder` (one final backslash). False when the
// text cannot be resolved or the folder leaves no room for the file that
// will be put after it ("ReadMe.txt" or the application's executable).
bool ResolveFolder(HWND window, char* bare, char* folder) {
    GetDlgItemTextA(window, IDC_FOLDER_EDIT, g_text, kTextSize);
    // An empty text stands for the current folder, which the resolver does
    // not take as an empty name.
    const char* text = g_text[0] != '\0' ? g_text : ".";
    char absolute[kPathSize];
    DWORD length = GetFullPathNameA(text, kPathSize, absolute, nullptr);
    if (length == 0 || length >= (DWORD)kPathSize) return false;
    return NormaliseFolder(absolute, bare, folder, ReadMeMode() ? g_member : kExeName);
}

void OnOk(HWND window) {
    char bare[kPathSize];
    char folder[kPathSize];
    if (!ResolveFolder(window, bare, folder)) {
        ShowError(window, IDS_ERR_BAD_PATH);
        return;
    }
    // Written before the questions: they show it, and the read-me test
    // is built from it.
    memcpy(g_folder, folder, sizeof g_folder);

    if (!PathExists(bare)) {
        if (!AskYesNo(window, IDS_ASK_CREATE_FOLDER, g_folder)) return;
    } else {
        bool isFolder = false;
        if (!QueryIsFolder(bare, &isFolder) || !isFolder) {
            ShowError(window, IDS_ERR_BAD_PATH);
            return;
        }
        if (ReadMeMode()) {
            memcpy(g_text, g_folder, sizeof g_folder);
            AppendText(g_text, kTextSize, g_member);
            if (PathExists(g_text) && !AskYesNo(window, IDS_ASK_OVERWRITE_README, g_folder))
                return;
        }
    }
    if (!ReadMeMode()) {
        g_addStartMenu =
            SendDlgItemMessageA(window, IDC_ADD_START_MENU, BM_GETCHECK, 0, 0) == BST_CHECKED;
        g_addDesktop =
            SendDlgItemMessageA(window, IDC_ADD_DESKTOP, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    EndDialog(window, IDOK);
}

// The browser's choice goes into the edit field only; it is checked on OK.
void OnBrowse(HWND window) {
    IMalloc* allocator = nullptr;
    sys::SHGetMalloc(&allocator);
    LoadStringA(g_instance, IDS_BROWSE_TITLE, g_text, kTextSize);
    BROWSEINFOA info = {};
    info.hwndOwner = window;
    info.pszDisplayName = g_caption;
    info.lpszTitle = g_text;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST item = sys::SHBrowseForFolderA(&info);
    if (item != nullptr) {
        if (sys::SHGetPathFromIDListA(item, g_caption)) {
            // A drive root (D:\) already ends with its backslash.
            if (strlen(g_caption) > 3) AppendText(g_caption, kTextSize, "\\");
            SetDlgItemTextA(window, IDC_FOLDER_EDIT, g_caption);
        }
        if (allocator != nullptr)
            allocator->Free(item);
        else
            sys::CoTaskMemFree(item);
    }
    if (allocator != nullptr) allocator->Release();
}

bool OnCommand(HWND window, WPARAM wParam) {
    switch (wParam) {
    case IDCANCEL: EndDialog(window, IDCANCEL); return true;
    case IDOK: OnOk(window); return true;
    case IDC_BROWSE: OnBrowse(window); return true;
    default: return false;
    }
}

}  // namespace

INT_PTR CALLBACK FolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(window); return TRUE;
    case WM_COMMAND: return OnCommand(window, wParam);
    default: return FALSE;
    }
}
