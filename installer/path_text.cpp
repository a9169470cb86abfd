#include "installer/path_text.h"

#include <cstring>

#include "platform/platform.h"

int ReverseFindChar(const char* text, char ch) {
    int result = -1;
    int n = (int)strlen(text);
    for (int i = 0; i < n;) {
        // A lead byte is never ch, whether or not a trail byte follows it.
        if (IsLeadByte((unsigned char)text[i])) {
            i += CharLength(text, i);
            continue;
        }
        if (text[i] == ch) result = i;
        ++i;
    }
    return result;
}

bool EndsWithBackslash(const char* text) {
    return ReverseFindChar(text, '\\') >= (int)strlen(text) - 1;
}

bool HasRemovableBackslash(const char* text) {
    int i = ReverseFindChar(text, '\\');
    return i > 2 && i == (int)strlen(text) - 1;
}

bool AppendText(char* text, size_t size, const char* src) {
    size_t used = strlen(text);
    size_t add = strlen(src);
    if (used + add + 1 > size) return false;
    memcpy(text + used, src, add + 1);
    return true;
}

bool AppendBackslashIfMissing(char* text, size_t size) {
    if (EndsWithBackslash(text)) return true;
    return AppendText(text, size, "\\");
}

void CutAfterLastBackslash(char* path) {
    int i = ReverseFindChar(path, '\\');
    path[i + 1] = '\0';
}

bool DriveRootOf(char* windowsDir, size_t size) {
    if (strlen(windowsDir) >= 3 && windowsDir[1] == ':' && windowsDir[2] == '\\')
        windowsDir[3] = '\0';
    return AppendBackslashIfMissing(windowsDir, size);
}

bool PrepareInstallFolder(char* folder, const char* exeName) {
    size_t len = strlen(folder);
    size_t separator = EndsWithBackslash(folder) ? 0 : 1;
    if (len + separator + strlen(exeName) + 1 > (size_t)kPathSize) return false;
    if (separator) AppendText(folder, kPathSize, "\\");
    return true;
}

bool NormaliseFolder(const char* absolute, char* bare, char* folder,
                     const char* nameAfter) {
    size_t len = strlen(absolute);
    if (len + 1 > (size_t)kPathSize) return false;
    memcpy(bare, absolute, len + 1);
    if (HasRemovableBackslash(bare)) bare[len - 1] = '\0';
    memcpy(folder, bare, strlen(bare) + 1);
    if (!AppendBackslashIfMissing(folder, kPathSize)) return false;
    return strlen(folder) + strlen(nameAfter) + 1 <= (size_t)kPathSize;
}
