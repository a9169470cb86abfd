// The Windows side of the work pacing: the performance counter as the clock
// and the look at the thread's queue.
#include "installer/installer.h"

namespace {

int64_t PerformanceTicks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace

CWorkSlice NewWorkSlice(int unitsPerClockRead) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // About 1 ms between looks: input is answered within a few ms while the
    // looks cost a few percent even at Wine's price.
    int64_t ticksPerLook = frequency.QuadPart / 1000;
    if (ticksPerLook < 1) ticksPerLook = 1;
    return CWorkSlice(PerformanceTicks, ticksPerLook, unitsPerClockRead);
}

bool MessageWaiting() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
}
