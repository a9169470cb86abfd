// Shortcut files through the shell-link object. COM must be initialised by
// the caller.

#include "installer/installer.h"
#include "installer/system_calls.h"

bool CreateShortcut(const char* target, const char* linkPath, const char* description) {
    // A path longer than the wide buffer is refused, not cut: a cut path
    // would save the shortcut somewhere else.
    WCHAR widePath[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathSize) == 0) return false;

    IShellLinkA* link = nullptr;
    if (FAILED(sys::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkA, (void**)&link)))
        return false;
    link->SetPath(target);
    link->SetDescription(description);

    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        link->Release();
        return false;
    }
    HRESULT saved = file->Save(widePath, TRUE);
    file->Release();
    link->Release();
    return SUCCEEDED(saved);
}
