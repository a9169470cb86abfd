// Dialog 104: walks the fixed drives for an installed copy in slices paced
// by a timer, with a marquee that moves on every tick and a Stop button.
#include "installer/installer.h"
#include "installer/search_walk.h"
#include "resources/resource.h"

namespace {

const UINT kTimerPeriod = 200;
// A step is one listing call, a few microseconds: the clock is read every
// few steps and the queue looked at about every millisecond.
const int kStepsPerClockRead = 8;

void ShowSearchMarquee(HWND window) {
    FormSearchMarquee();
    HWND label = GetDlgItem(window, IDC_MARQUEE);
    SetWindowTextA(label, g_text);
    UpdateWindow(label);
}

void OnInitDialog(HWND window) {
    g_timerId = 0;
    // Nothing to search, or an exact copy at the very first entry: done
    // before any timer exists.
    if (!SearchStart()) {
        EndDialog(window, IDOK);
        return;
    }
    g_timerId = SetTimer(window, 1, kTimerPeriod, nullptr);
    g_marqueePhase = 0;
    ShowSearchMarquee(window);
}

void OnTimer(HWND window) {
    g_marqueePhase = (g_marqueePhase + 1) % 10;
    ShowSearchMarquee(window);
    PostMessageA(window, WM_WORK_STEP, 0, 0);
}

// Walks until the search is over or input waits. Stop is handled only
// between slices, so the walk is never entered twice at once.
void OnWorkStep(HWND window) {
    // A step posted before the dialog ended finds an empty stack.
    if (g_searchTop == nullptr) return;
    CWorkSlice slice = NewWorkSlice(kStepsPerClockRead);
    slice.Start();
    for (;;) {
        if (!SearchAdvance()) {
            EndDialog(window, IDOK);
            return;
        }
        if (slice.TimeToLook() && MessageWaiting()) return;
    }
}

bool OnCommand(HWND window, WPARAM wParam) {
    if (wParam != IDCANCEL) return false;
    SearchFreeAll();
    EndDialog(window, IDCANCEL);
    return true;
}

void OnDestroy(HWND window) {
    if (g_timerId != 0) KillTimer(window, g_timerId);
    g_timerId = 0;
}

}  // namespace

INT_PTR CALLBACK SearchDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(window); return TRUE;
    case WM_TIMER: OnTimer(window); return TRUE;
    case WM_WORK_STEP: OnWorkStep(window); return TRUE;
    case WM_COMMAND: return OnCommand(window, wParam);
    case WM_DESTROY: OnDestroy(window); return TRUE;
    default: return FALSE;
    }
}
