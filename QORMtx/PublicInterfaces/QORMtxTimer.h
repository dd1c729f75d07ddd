// QORMtxTimer: stopwatch of wall and processor time, for the debugging timings of streamed work.
#pragma once
#include "QORMtxTime.h"
#include "omi_Timer.h"

class QORMtxTimer : public omi_Timer {
 public:
  QORMtxTimer() = default;
  /// \brief Precondition "!m_started".
  void Start();
  /// \brief Precondition "m_started"; returns the time since Start and stops.
  QORMtxTime Stop();

 private:
  bool m_started = false;
  double m_userStart = 0.0;
  double m_sysStart = 0.0;
};
