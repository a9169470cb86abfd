// Text work on ANSI paths that the installer's dialogs and flow share. Pure
// byte logic over NUL-terminated code-page texts, so it is tested natively.
// Every walk treats a lead byte and its trail byte as one character.
#ifndef INSTALLER_PATH_TEXT_H
#define INSTALLER_PATH_TEXT_H

#include <cstddef>

// Paths live in buffers of this many bytes, terminator included.
const int kPathSize = 260;

// Index of the last occurrence of ch as a character of its own; -1 if none.
// ch must be a single-byte character that is not a lead byte.
int ReverseFindChar(const char* text, char ch);

// True when the text ends with a backslash or is empty (so nothing is
// appended to an empty text).
bool EndsWithBackslash(const char* text);

// True when the text has a final backslash that may be cut for display or
// normalisation: one past index 2, so a drive root like C:\ keeps its own.
bool HasRemovableBackslash(const char* text);

// Appends src to the text in a buffer of `size` bytes. False, with the text
// unchanged, when the result and its terminator would not fit.
bool AppendText(char* text, size_t size, const char* src);

// Appends a backslash unless EndsWithBackslash. False, text unchanged, when
// there is no room.
bool AppendBackslashIfMissing(char* text, size_t size);

// Cuts a module path just after its last backslash: the folder that holds
// the file, with its separator. A text without backslash becomes empty.
void CutAfterLastBackslash(char* path);

// Turns a Windows directory into the install folder's base: a text starting
// with "X:\" is cut to that drive root; any other is kept whole. A backslash
// is then appended unless the text already ends with one. False when it does
// not fit.
bool DriveRootOf(char* windowsDir, size_t size);

// Makes a folder text fit to receive the application's file name: a folder
// read from the registry gets a final backslash if it lacks one. False when
// the folder, its separator and the name would not fit in kPathSize bytes;
// the text is then unchanged.
bool PrepareInstallFolder(char* folder, const char* exeName);

// The destination folder dialog's normalisation of an absolute path: a final
// backslash past the drive root is cut (into `bare`, for the existence
// tests), and `folder` gets the same path with exactly one final backslash.
// Both buffers are kPathSize bytes. False when the folder with its backslash
// does not fit, or leaves no room for `nameAfter` (the file that will be
// appended later); then neither buffer is to be used.
bool NormaliseFolder(const char* absolute, char* bare, char* folder,
                     const char* nameAfter);

#endif
