// Quorval.exe: the sample application the installer carries. One window,
// class "QuorvalMainWindow", title "Quorvalinex 1.22", that shows the
// application's name and version; closing it (WM_CLOSE) ends the program
// with exit code 0.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

const char kClassName[] = "QuorvalMainWindow";
const char kTitle[] = "Quorvalinex 1.22";
const char kMaker[] = "Tallowen";

void OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT area;
    GetClientRect(window, &area);
    SetBkMode(dc, TRANSPARENT);
    RECT top = area;
    top.bottom = (area.top + area.bottom) / 2;
    DrawTextA(dc, kTitle, -1, &top, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
    RECT bottom = area;
    bottom.top = top.bottom + 4;
    DrawTextA(dc, kMaker, -1, &bottom, DT_CENTER | DT_TOP | DT_SINGLELINE);
    EndPaint(window, &ps);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowA(kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 360, 200, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
