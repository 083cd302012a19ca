#pragma once
// Timing for the window benchmarks: wall and processor time of a step, and
// medians. On a shared machine wall times move with the load, processor
// times much less.
#include <QElapsedTimer>
#include <algorithm>
#include <sys/resource.h>
#include <vector>

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Processor time in ms (user and system) of this process (RUSAGE_SELF), or
// of its children that have ended (RUSAGE_CHILDREN).
inline double cpuMs(int who) {
  struct rusage u {};
  ::getrusage(who, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Times {
  double wall = 0, cpu = 0;
};

// Times f: wall and processor ms of this process.
template <typename F>
Times timed(F&& f) {
  QElapsedTimer t;
  t.start();
  const double cpu0 = cpuMs(RUSAGE_SELF);
  f();
  return {t.nsecsElapsed() / 1e6, cpuMs(RUSAGE_SELF) - cpu0};
}
