// uidriver: reads and drives another process's windows for the end-to-end
// tests. Run inside the same Wine prefix as the program under test.
//
//   uidriver.exe COMMAND ARGS... [; COMMAND ARGS...]...
//
// Commands run in order; each prints one line (UTF-8, JSON for dumps) to
// standard output, which the harness sends to a file. The exit status is 0
// when every command succeeded, 1 on a timeout or a missing window, 2 on a
// usage error; the first failing command ends the run.
//
// A window WINDOW is one of
//   dlg:ID[+ID...]  a visible top-level dialog (#32770) with children of
//               every id given (Wine's message box is dlg:1088+65535: its
//               icon and its text static)
//   class:NAME  a visible top-level window of class NAME
//   exe:NAME    a visible top-level window of a process whose image is NAME
// The topmost match in z-order wins.
//
// Commands:
//   wait WINDOW MS          wait until WINDOW exists; prints its handle
//   gone WINDOW MS          wait until no window matches WINDOW
//   waittext WINDOW ID TEXT MS   wait until a child shows TEXT
//   waitpos WINDOW ID MIN MS     wait until a progress bar stands at MIN or more
//                         (both poll in-process: chained with a click they act
//                         within milliseconds of the state being reached)
//   dump WINDOW             JSON: title, rectangles, every child's id, class,
//                         text, visibility, style, check state, bar position
//   list                  JSON: every visible top-level window
//   settext WINDOW ID TEXT  WM_SETTEXT on a child (an empty TEXT is allowed)
//   click WINDOW ID         posts BM_CLICK to a child, so a handler that opens
//                         a message box does not block the driver
//   key WINDOW esc|enter    posts the key to the dialog's focused control, as
//                         the dialog manager sees a real key press
//   close WINDOW            posts WM_CLOSE
//   sysclose WINDOW         posts WM_SYSCOMMAND SC_CLOSE (the caption's close box)
//   redraw WINDOW           invalidates the window and its children (a picture
//                         of a window that missed its first paint)
//   showbox TYPE TEXT     shows a message box of MB_ type TYPE and exits with
//                         the button pressed: a target for the harness's own test
//   stamp                 prints a monotonic clock in milliseconds (timings
//                         between commands of one run)
//   loadlib NAME          LoadLibrary with the default search order; exits 0
//                         when loaded (shows that a planted DLL would be found)
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const UINT kMessageTimeoutMs = 3000;
const DWORD kPollMs = 10;
const DWORD kRetryMs = 5000;

void Out(const std::string& line) {
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), (DWORD)text.size(), &written,
              nullptr);
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr,
                                nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::string Json(const std::wstring& w) {
    std::string s = Utf8(w), r = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += (char)c;
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            r += buf;
        } else {
            r += (char)c;
        }
    }
    return r + "\"";
}

std::string Hex(HWND w) {
    char buf[32];
    snprintf(buf, sizeof buf, "\"0x%lx\"", (unsigned long)(ULONG_PTR)w);
    return buf;
}

std::string Rect(const RECT& r) {
    char buf[80];
    snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    return buf;
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[256] = {0};
    GetClassNameW(w, buf, 256);
    return buf;
}

// GetWindowTextW never sends a message, so a busy target cannot block us;
// an edit control keeps its text to itself and has to be asked.
std::wstring TextOf(HWND w) {
    std::vector<wchar_t> buf(4096, 0);
    if (lstrcmpiW(ClassOf(w).c_str(), L"Edit") == 0) {
        DWORD_PTR got = 0;
        if (SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), (LPARAM)buf.data(),
                                SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got))
            return std::wstring(buf.data());
    }
    GetWindowTextW(w, buf.data(), (int)buf.size());
    return std::wstring(buf.data());
}

std::wstring ImageOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) return std::wstring();
    wchar_t buf[MAX_PATH] = {0};
    DWORD size = MAX_PATH;
    std::wstring name;
    if (QueryFullProcessImageNameW(p, 0, buf, &size)) {
        name = buf;
        size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) name = name.substr(slash + 1);
    }
    CloseHandle(p);
    return name;
}

struct WindowPattern {
    enum Kind { DIALOG, CLASS, EXE } kind;
    std::vector<int> ids;
    std::wstring name;
};

bool ParsePattern(const std::wstring& s, WindowPattern* pattern) {
    size_t colon = s.find(L':');
    if (colon == std::wstring::npos) return false;
    std::wstring kind = s.substr(0, colon), rest = s.substr(colon + 1);
    if (kind == L"dlg") {
        pattern->kind = WindowPattern::DIALOG;
        const wchar_t* p = rest.c_str();
        for (;;) {
            wchar_t* end = nullptr;
            pattern->ids.push_back((int)wcstol(p, &end, 0));
            if (end == p) return false;
            if (*end != L'+') return *end == 0;
            p = end + 1;
        }
    } else if (kind == L"class") {
        pattern->kind = WindowPattern::CLASS;
    } else if (kind == L"exe") {
        pattern->kind = WindowPattern::EXE;
    } else {
        return false;
    }
    pattern->name = rest;
    return true;
}

bool Matches(HWND w, const WindowPattern& pattern) {
    if (!IsWindowVisible(w)) return false;
    switch (pattern.kind) {
    case WindowPattern::DIALOG:
        if (ClassOf(w) != L"#32770") return false;
        for (int id : pattern.ids)
            if (!GetDlgItem(w, id)) return false;
        return true;
    case WindowPattern::CLASS:
        return lstrcmpiW(ClassOf(w).c_str(), pattern.name.c_str()) == 0;
    case WindowPattern::EXE:
        return lstrcmpiW(ImageOf(w).c_str(), pattern.name.c_str()) == 0;
    }
    return false;
}

struct FindState {
    const WindowPattern* pattern;
    HWND found;
};

BOOL CALLBACK FindProc(HWND w, LPARAM param) {
    FindState* state = (FindState*)param;
    if (Matches(w, *state->pattern)) {
        state->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND Find(const WindowPattern& pattern) {
    FindState state = {&pattern, nullptr};
    EnumWindows(FindProc, (LPARAM)&state);
    return state.found;
}

HWND WaitFor(const WindowPattern& pattern, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = Find(pattern);
        if (w || GetTickCount() - start >= ms) return w;
        Sleep(kPollMs);
    }
}

std::string ChildJson(HWND child) {
    std::wstring cls = ClassOf(child);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    RECT r;
    GetWindowRect(child, &r);
    std::string s = "{\"id\":" + std::to_string(GetDlgCtrlID(child)) + ",\"class\":" +
                    Json(cls) + ",\"text\":" + Json(TextOf(child)) +
                    ",\"visible\":" + (IsWindowVisible(child) ? "true" : "false") +
                    ",\"enabled\":" + (IsWindowEnabled(child) ? "true" : "false") +
                    ",\"style\":" + std::to_string((unsigned long)style) +
                    ",\"rect\":" + Rect(r);
    DWORD_PTR value = 0;
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 &&
        SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &value))
        s += ",\"check\":" + std::to_string((unsigned long)value);
    if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0 &&
        SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &value))
        s += ",\"pos\":" + std::to_string((long)value);
    return s + "}";
}

BOOL CALLBACK ChildProc(HWND child, LPARAM param) {
    std::vector<HWND>* list = (std::vector<HWND>*)param;
    list->push_back(child);
    return TRUE;
}

std::string WindowJson(HWND w, bool withChildren) {
    RECT r, client;
    GetWindowRect(w, &r);
    GetClientRect(w, &client);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    OffsetRect(&client, origin.x, origin.y);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    std::string s = "{\"hwnd\":" + Hex(w) + ",\"class\":" + Json(ClassOf(w)) +
                    ",\"title\":" + Json(TextOf(w)) + ",\"image\":" + Json(ImageOf(w)) +
                    ",\"pid\":" + std::to_string((unsigned long)pid) +
                    ",\"owner\":" + Hex(GetWindow(w, GW_OWNER)) +
                    ",\"enabled\":" + (IsWindowEnabled(w) ? "true" : "false") +
                    ",\"rect\":" + Rect(r) + ",\"client\":" + Rect(client);
    if (withChildren) {
        std::vector<HWND> children;
        EnumChildWindows(w, ChildProc, (LPARAM)&children);
        s += ",\"children\":[";
        for (size_t i = 0; i < children.size(); ++i) {
            if (GetParent(children[i]) != w) continue;  // direct children only
            if (s.back() == '}') s += ",";
            s += ChildJson(children[i]);
        }
        s += "]";
    }
    return s + "}";
}

BOOL CALLBACK ListProc(HWND w, LPARAM param) {
    std::string* s = (std::string*)param;
    if (!IsWindowVisible(w)) return TRUE;
    if (s->back() == '}') *s += ",";
    *s += WindowJson(w, false);
    return TRUE;
}

// A modal dialog's message loop hands keys to IsDialogMessage only when they
// are addressed to one of its windows, so the key goes to the focused control.
HWND FocusOf(HWND dialog) {
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
        (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus)))
        return info.hwndFocus;
    return dialog;
}

int Usage() {
    Out("usage: uidriver.exe COMMAND ARGS... [; COMMAND ARGS...]");
    return 2;
}

const int kUsage = 2;

void Say(std::string* result, const std::string& text) { *result = text; }

// One action on a found window; 1 when the window refused it.
int Act(const std::wstring& cmd, const std::vector<std::wstring>& args, HWND w,
        std::string* result) {
    if (cmd == L"dump") {
        Say(result, WindowJson(w, true));
        return 0;
    }
    if (cmd == L"redraw") {
        BOOL ok = RedrawWindow(w, nullptr, nullptr,
                               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        Say(result, ok ? "ok" : "failed");
        return ok ? 0 : 1;
    }
    if (cmd == L"close" || cmd == L"sysclose") {
        BOOL ok = cmd == L"close" ? PostMessageW(w, WM_CLOSE, 0, 0)
                                  : PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        Say(result, ok ? "ok" : "failed");
        return ok ? 0 : 1;
    }
    if (cmd == L"key") {
        if (args.size() < 3) return kUsage;
        WPARAM vk = args[2] == L"esc" ? VK_ESCAPE : args[2] == L"enter" ? VK_RETURN : 0;
        if (!vk) return kUsage;
        HWND target = FocusOf(w);
        UINT scan = MapVirtualKeyW((UINT)vk, MAPVK_VK_TO_VSC);
        // The key-down alone may close the window, so the key-up can find
        // it gone: only the key-down counts.
        BOOL ok = PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
        if (ok) PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
        Say(result, ok ? "ok" : "failed: error " + std::to_string(GetLastError()) + " target " +
                            Hex(target) + " dialog " + Hex(w));
        return ok ? 0 : 1;
    }

    if (args.size() < 3) return kUsage;
    HWND child = GetDlgItem(w, (int)wcstol(args[2].c_str(), nullptr, 0));
    if (!child) {
        Say(result, "no such control");
        return 1;
    }
    if (cmd == L"click") {
        BOOL ok = PostMessageW(child, BM_CLICK, 0, 0);
        Say(result, ok ? "ok" : "failed");
        return ok ? 0 : 1;
    }
    if (cmd == L"settext") {
        std::wstring text = args.size() > 3 ? args[3] : std::wstring();
        DWORD_PTR answer = 0;
        BOOL ok = SendMessageTimeoutW(child, WM_SETTEXT, 0, (LPARAM)text.c_str(),
                                      SMTO_ABORTIFHUNG, kMessageTimeoutMs, &answer) != 0;
        Say(result, ok ? "ok" : "failed");
        return ok ? 0 : 1;
    }
    return kUsage;
}

// Runs one command; args[0] is its name.
int Run(const std::vector<std::wstring>& args) {
    const std::wstring& cmd = args[0];
    if (cmd == L"showbox" && args.size() == 3)
        return MessageBoxW(nullptr, args[2].c_str(), L"uidriver",
                           (UINT)wcstoul(args[1].c_str(), nullptr, 0));
    if (cmd == L"stamp") {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        char buf[32];
        snprintf(buf, sizeof buf, "%.1f", now.QuadPart * 1000.0 / frequency.QuadPart);
        Out(buf);
        return 0;
    }
    if (cmd == L"loadlib" && args.size() == 2) {
        HMODULE module = LoadLibraryW(args[1].c_str());
        Out(module ? "loaded" : "not loaded, error " + std::to_string(GetLastError()));
        return module ? 0 : 1;
    }
    if (cmd == L"list") {
        std::string s = "[";
        EnumWindows(ListProc, (LPARAM)&s);
        Out(s + "]");
        return 0;
    }
    WindowPattern pattern;
    if (args.size() < 2 || !ParsePattern(args[1], &pattern)) return Usage();
    DWORD ms = args.size() > 2 ? (DWORD)wcstoul(args[2].c_str(), nullptr, 10) : 0;

    if (cmd == L"wait") {
        HWND w = WaitFor(pattern, ms);
        Out(w ? Hex(w) : "null");
        return w ? 0 : 1;
    }
    if (cmd == L"gone") {
        DWORD start = GetTickCount();
        while (Find(pattern)) {
            if (GetTickCount() - start >= ms) {
                Out("still there");
                return 1;
            }
            Sleep(kPollMs);
        }
        Out("gone");
        return 0;
    }

    if (cmd == L"waittext" || cmd == L"waitpos") {
        if (args.size() < 5) return Usage();
        int id = (int)wcstol(args[2].c_str(), nullptr, 0);
        long min = wcstol(args[3].c_str(), nullptr, 10);
        DWORD limit = (DWORD)wcstoul(args[4].c_str(), nullptr, 10);
        DWORD start = GetTickCount();
        std::wstring seen;
        for (;;) {
            HWND w = Find(pattern);
            HWND child = w ? GetDlgItem(w, id) : nullptr;
            DWORD_PTR pos = 0;
            if (child && cmd == L"waittext") {
                seen = TextOf(child);
                if (seen == args[3]) break;
            } else if (child && SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG,
                                                    kMessageTimeoutMs, &pos)) {
                seen = std::to_wstring((long)pos);
                if ((long)pos >= min) break;
            }
            if (GetTickCount() - start >= limit) {
                Out("timeout, last seen " + Json(seen));
                return 1;
            }
            Sleep(1);
        }
        Out(Json(seen));
        return 0;
    }

    // A window found a moment before it is destroyed (a dialog replaced by
    // the next) refuses the action: find it again and retry for a while.
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = Find(pattern);
        std::string result = "null";
        int status = w ? Act(cmd, args, w, &result) : 1;
        if (status == kUsage) return Usage();
        bool vanished = status != 0 && (!w || !IsWindow(w));
        if (!vanished || GetTickCount() - start >= kRetryMs) {
            Out(result);
            return status;
        }
        Sleep(kPollMs);
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return Usage();
    std::vector<std::wstring> command;
    for (int i = 1; i <= argc; ++i) {
        if (i == argc || std::wstring(argv[i]) == L";") {
            if (command.empty()) return Usage();
            int status = Run(command);
            if (status != 0) return status;
            command.clear();
        } else {
            command.push_back(argv[i]);
        }
    }
    return 0;
}
