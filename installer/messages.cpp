// The one place where the front end speaks to the user in message boxes,
// and where an engine error code becomes words.
#include <cstring>

#include "installer/installer.h"
#include "resources/resource.h"

void ShowError(HWND owner, UINT id) {
    LoadStringA(g_instance, id, g_text, kTextSize);
    LoadStringA(g_instance, IDS_CAPTION, g_caption, kTextSize);
    MessageBoxA(owner, g_text, g_caption, MB_ICONERROR);
}

// The folder, when given, stands on the first line without its trailing
// backslash (a drive root keeps it), then an empty line, then the question.
bool AskYesNo(HWND owner, UINT id, const char* path) {
    g_text[0] = '\0';
    if (path != nullptr) {
        // Paths are at most kPathSize bytes, so they and the separator fit.
        strncpy(g_text, path, kPathSize - 1);
        g_text[kPathSize - 1] = '\0';
        if (HasRemovableBackslash(g_text)) g_text[strlen(g_text) - 1] = '\0';
        AppendText(g_text, kTextSize, "\n\n");
    }
    LoadStringA(g_instance, id, g_caption, kTextSize);
    AppendText(g_text, kTextSize, g_caption);
    LoadStringA(g_instance, IDS_CAPTION, g_caption, kTextSize);
    return MessageBoxA(owner, g_text, g_caption, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

void ReportExtractError() {
    UINT id = IDS_ERR_EXTRACT;
    switch (g_extractor.m_error) {
    case EXTRACT_ERR_CREATE_FOLDER: id = IDS_ERR_CREATE_FOLDER; break;
    case EXTRACT_ERR_CREATE_FILE: id = IDS_ERR_CREATE_FILE; break;
    case EXTRACT_ERR_FILE_ACCESS: id = IDS_ERR_FILE_ACCESS; break;
    default: break;
    }
    ShowError(nullptr, id);
}
