// omn_FPE: feenableexcept/fedisableexcept with a per-thread saved state, so that masking restores, never forces.
#include "omn_FPE.h"

#include <cfenv>

namespace {
constexpr int kTraps = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
thread_local int t_depth = 0;  // open omn_disableFPE sections
thread_local int t_saved = 0;  // traps that were on when the outermost section opened
}  // namespace

int omn_disableFPE() {
  const int on = fegetexcept() & kTraps;
  if (t_depth++ == 0) t_saved = on;
  fedisableexcept(kTraps);
  return on;
}

int omn_enableFPE() {
  const int on = fegetexcept() & kTraps;
  int want = kTraps;
  if (t_depth > 0) {
    if (--t_depth > 0) return on;  // an enclosing section still wants the traps masked
    want = t_saved;
  }
  feclearexcept(kTraps);
  if (want) feenableexcept(want);
  return on;
}
