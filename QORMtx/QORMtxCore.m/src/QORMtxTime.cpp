// QORMtxTime: accumulation and the debugging print.
#include "QORMtxTime.h"

#include <cstdio>

#include "QORMtxUtilities.h"

QORMtxTime& QORMtxTime::operator+=(const QORMtxTime& rhs) {
  wall += rhs.wall;
  user += rhs.user;
  sys += rhs.sys;
  cpu += rhs.cpu;
  other += rhs.other;
  return *this;
}

void QORMtxTime::Print(const char* label) const {
  if (!QORMtxUtilities::Debug()) return;
  std::fprintf(stderr, "%s QORMtxTime: wall=%8.2f cpu=%8.2f user=%8.2f sys=%8.2f\n", label, wall, cpu, user, sys);
}
