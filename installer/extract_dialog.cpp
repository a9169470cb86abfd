// Dialog 102: drives the engine in slices paced by a timer, showing the
// current member's name and its percentage.

#include "installer/installer.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace {

const UINT kTimerPeriod = 200;
// An -lh5- step is tens of ns: the clock is read only every 64 steps.
const int kStepsPerClockRead = 64;

void OnInitDialog(HWND window) {
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    // Made before Begin, so that WM_DESTROY always has a timer to remove.
    g_timerId = SetTimer(window, 1, kTimerPeriod, nullptr);
    if (!g_extractor.Begin(g_modulePath, g_folder, g_member)) {
        EndDialog(window, IDCANCEL);
        return;
    }
    ShowProgress(window, 0);
}

// Runs steps until the extraction ends or input waits. The slice never goes
// back to the message loop between redraws, so every change is painted at
// once; it redraws only on a rise of 10 points or a fall (a new member).
void OnWorkStep(HWND window) {
    int drawn = g_extractor.Progress();
    CWorkSlice slice = NewWorkSlice(kStepsPerClockRead);
    slice.Start();
    for (;;) {
        bool done = false;
        if (!g_extractor.Step(&done)) {
            EndDialog(window, IDCANCEL);
            return;
        }
        if (done) {
            ShowProgress(window, 100);
            EndDialog(window, IDOK);
            return;
        }
        if (slice.TimeToLook() && MessageWaiting()) {
            ShowProgress(window, g_extractor.Progress());
            return;
        }
        int current = g_extractor.Progress();
        if (current < drawn || current >= drawn + 10) {
            ShowProgress(window, current);
            drawn = current;
        }
    }
}

// Stop is handled only between slices, so the engine is never re-entered.
bool OnCommand(HWND window, WPARAM wParam) {
    if (wParam != IDCANCEL) return false;
    g_extractor.Abort();
    EndDialog(window, IDCANCEL);
    return true;
}

void OnDestroy(HWND window) {
    if (g_timerId != 0) KillTimer(window, g_timerId);
    g_timerId = 0;
}

}  // namespace

void ShowProgress(HWND window, int percent) {
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    SendMessageA(bar, PBM_SETPOS, (WPARAM)percent, 0);
    UpdateWindow(bar);
    if (percent != 0) return;
    HWND label = GetDlgItem(window, IDC_MEMBER_NAME);
    SetWindowTextA(label, g_extractor.CurrentName());
    UpdateWindow(label);
}

INT_PTR CALLBACK ExtractDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(window); return TRUE;
    case WM_TIMER: PostMessageA(window, WM_WORK_STEP, 0, 0); return TRUE;
    case WM_WORK_STEP: OnWorkStep(window); return TRUE;
    case WM_COMMAND: return OnCommand(window, wParam);
    case WM_DESTROY: OnDestroy(window); return TRUE;
    default: return FALSE;
    }
}
