// Dialog 101: read the read-me file, install, or stop.
#include "installer/installer.h"
#include "resources/resource.h"

namespace {

// Only clicks count: the whole parameter is compared, so a notification
// code other than 0 never ends the dialog. Esc and the close box come as
// IDCANCEL.
bool OnCommand(HWND window, WPARAM wParam) {
    if (wParam != IDCANCEL && wParam != IDC_VIEW_README && wParam != IDC_INSTALL)
        return false;
    EndDialog(window, (INT_PTR)wParam);
    return true;
}

}  // namespace

INT_PTR CALLBACK MenuDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND: return OnCommand(window, wParam);
    default: return FALSE;
    }
}
