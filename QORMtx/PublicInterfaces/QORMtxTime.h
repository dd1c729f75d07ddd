// QORMtxTime: wall, user, system, processor and other seconds of one timed piece of work.
#pragma once

struct QORMtxTime {
  double wall = 0.0;
  double user = 0.0;
  double sys = 0.0;
  double cpu = 0.0;    ///< user + sys
  double other = 0.0;  ///< wall - cpu: waiting, mostly for I/O

  QORMtxTime() = default;
  QORMtxTime(double wallSeconds, double userSeconds, double sysSeconds)
      : wall(wallSeconds), user(userSeconds), sys(sysSeconds), cpu(userSeconds + sysSeconds),
        other(wallSeconds - (userSeconds + sysSeconds)) {}

  QORMtxTime& operator+=(const QORMtxTime& rhs);
  /// \brief With debugging on only: "<label> QORMtxTime: wall=… cpu=… user=… sys=…" on standard error.
  void Print(const char* label) const;
};
