// omi_Timer: steady_clock stopwatch and getrusage processor times.
#include "omi_Timer.h"

#include <sys/resource.h>

void omi_Timer::Start() {
  m_start = std::chrono::steady_clock::now();
  m_running = true;
}

void omi_Timer::Stop() {
  m_stop = std::chrono::steady_clock::now();
  m_running = false;
}

double omi_Timer::GetElapsedTime() const {
  const auto end = m_running ? std::chrono::steady_clock::now() : m_stop;
  return std::chrono::duration<double>(end - m_start).count();
}

void omi_getcputime(double& user, double& sys) {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  user = ru.ru_utime.tv_sec + 1e-6 * ru.ru_utime.tv_usec;
  sys = ru.ru_stime.tv_sec + 1e-6 * ru.ru_stime.tv_usec;
}
