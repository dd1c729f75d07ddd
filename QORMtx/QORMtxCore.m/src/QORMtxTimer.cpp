// QORMtxTimer: wall time from omi_Timer, processor time from omi_getcputime.
#include "QORMtxTimer.h"

#include "QORMtxAssert.h"

void QORMtxTimer::Start() {
  QORMTX_ASSERT(!m_started);
  omi_getcputime(m_userStart, m_sysStart);
  omi_Timer::Start();
  m_started = true;
}

QORMtxTime QORMtxTimer::Stop() {
  QORMTX_ASSERT(m_started);
  omi_Timer::Stop();
  double user = 0.0;
  double sys = 0.0;
  omi_getcputime(user, sys);
  const QORMtxTime t(GetElapsedTime(), user - m_userStart, sys - m_sysStart);
  m_started = false;
  m_userStart = 0.0;
  m_sysStart = 0.0;
  return t;
}
