// QORBasMemInfo: the machine's physical memory, as the buffer-sizing rules read it.
#pragma once
#include <cstdint>

class QORBasMemInfo {
 public:
  /// \brief Physical memory in megabytes (1 048 576 bytes), or the override when one is set.
  static uint64_t Physical();
  /// \brief Makes Physical() report megaBytes (0 restores the operating system's figure);
  /// lets tests and hosts size buffers for another machine.
  static void SetPhysicalOverride(uint64_t megaBytes);
};
