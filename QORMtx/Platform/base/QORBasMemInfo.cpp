// QORBasMemInfo: physical memory from sysconf.
#include "QORBasMemInfo.h"

#include <unistd.h>

namespace {
uint64_t g_override = 0;
}

uint64_t QORBasMemInfo::Physical() {
  if (g_override != 0) return g_override;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 1024;  // unknown: assume a modest 1 GB
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 1048576u;
}

void QORBasMemInfo::SetPhysicalOverride(uint64_t megaBytes) { g_override = megaBytes; }
