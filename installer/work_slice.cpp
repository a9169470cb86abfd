#include "installer/work_slice.h"

CWorkSlice::CWorkSlice(int64_t (*clock)(), int64_t ticksPerLook, int unitsPerClockRead)
    : m_clock(clock),
      m_ticksPerLook(ticksPerLook),
      m_unitsPerClockRead(unitsPerClockRead < 1 ? 1 : unitsPerClockRead),
      m_units(0),
      m_lastLook(0) {}

void CWorkSlice::Start() {
    m_units = 0;
    m_lastLook = m_clock();
}

bool CWorkSlice::TimeToLook() {
    if (++m_units < m_unitsPerClockRead) return false;
    m_units = 0;
    int64_t now = m_clock();
    if (now - m_lastLook < m_ticksPerLook) return false;
    m_lastLook = now;
    return true;
}
