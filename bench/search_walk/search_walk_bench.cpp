// Times the whole search over every fixed drive, as dialog 104 runs it,
// and prints one line of figures:
//   mode=<m> seconds=<s> steps=<n> peak_frames=<f> frame_bytes=<b> folder=<found>
// Modes: "bare" runs the walk alone; "paced" looks at the message queue
// about every millisecond as the dialog does; "every" looks after every
// step, to show what a look costs.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "installer/search_walk.h"

char g_folder[260];
char g_text[1024];

namespace {

int64_t Ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

int Depth() {
    int n = 0;
    for (SearchFrame* f = g_searchTop; f != nullptr; f = f->next) ++n;
    return n;
}

bool QueueLook() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "bare";
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const int64_t lookEvery = frequency.QuadPart / 1000;
    bool paced = strcmp(mode, "paced") == 0, every = strcmp(mode, "every") == 0;

    long steps = 0, looks = 0;
    int peak = 0;
    int64_t start = Ticks(), lastLook = start;
    if (SearchStart()) {
        peak = Depth();
        while (SearchAdvance()) {
            ++steps;
            int depth = Depth();
            if (depth > peak) peak = depth;
            if (every || (paced && (steps & 7) == 0 && Ticks() - lastLook >= lookEvery)) {
                QueueLook();
                ++looks;
                lastLook = Ticks();
            }
        }
    }
    double seconds = (double)(Ticks() - start) / (double)frequency.QuadPart;
    printf("mode=%s seconds=%.3f steps=%ld looks=%ld peak_frames=%d frame_bytes=%u folder=%s\n",
           mode, seconds, steps, looks, peak, (unsigned)sizeof(SearchFrame), g_folder);
    return 0;
}
