// Pacing of a slice of work on the UI thread. A slice runs small units of
// work until input waits; but looking at the queue is dear (a wineserver
// round trip, ~70 us under Wine, against tens of ns for a unit), so the
// slice looks only when about a look interval has passed since its last
// look, and reads the clock only every few units to keep that cheap too.
#ifndef INSTALLER_WORK_SLICE_H
#define INSTALLER_WORK_SLICE_H

#include <cstdint>

class CWorkSlice {
public:
    // clock: a monotonic tick counter. ticksPerLook: ticks between two looks
    // at the queue. unitsPerClockRead: units run between two clock reads
    // (1 for units that may each take long).
    CWorkSlice(int64_t (*clock)(), int64_t ticksPerLook, int unitsPerClockRead);

    // A slice begins: its first look is one interval from now.
    void Start();

    // Called after every unit; true when it is time to look at the queue.
    bool TimeToLook();

private:
    int64_t (*m_clock)();
    int64_t m_ticksPerLook;
    int m_unitsPerClockRead;
    int m_units;
    int64_t m_lastLook;
};

#endif
