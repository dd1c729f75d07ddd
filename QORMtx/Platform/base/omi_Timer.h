// omi_Timer: wall-clock stopwatch; omi_getcputime: user and system processor seconds.
#pragma once
#include <chrono>

class omi_Timer {
 public:
  omi_Timer() = default;
  /// \brief Starts (or restarts) the watch.
  void Start();
  /// \brief Stops the watch; the elapsed time stays readable.
  void Stop();
  /// \brief Seconds between Start and Stop, or up to now while running.
  double GetElapsedTime() const;

 private:
  std::chrono::steady_clock::time_point m_start{};
  std::chrono::steady_clock::time_point m_stop{};
  bool m_running = false;
};

/// \brief User and system processor seconds used by this process so far.
void omi_getcputime(double& user, double& sys);
