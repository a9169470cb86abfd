// Dialog 104, stand-in until the search of the fixed drives lands: it finds
// nothing and ends at once.
#include "installer/installer.h"

INT_PTR CALLBACK SearchDlgProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    g_folder[0] = '\0';
    EndDialog(window, IDOK);
    return TRUE;
}
