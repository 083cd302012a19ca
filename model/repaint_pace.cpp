#include "model/repaint_pace.h"

#include <chrono>

TRepaintPace::TRepaintPace(Clock clock) : m_clock(std::move(clock)) {
  if (!m_clock)
    m_clock = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
}

bool TRepaintPace::paintIf(bool due, int64_t now) {
  if (due) {
    m_lastPaint = now;
    m_painted = true;
    m_waiting = false;
  }
  return due;
}

bool TRepaintPace::rowArrived() {
  const int64_t now = m_clock();
  m_waiting = true;
  return paintIf(!m_painted || now - m_lastPaint >= kIntervalMs, now);
}

bool TRepaintPace::folderNext() {
  if (!m_waiting) return false;
  const int64_t now = m_clock();
  return paintIf(now - m_lastPaint >= kBeforeFolderMs, now);
}
