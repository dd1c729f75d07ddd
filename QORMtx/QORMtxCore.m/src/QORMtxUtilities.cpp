// QORMtxUtilities: settings, buffer sizing, formatters and ReportAndAbort.
#include "QORMtxUtilities.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "QORBasMemInfo.h"
#include "QORMtxAssert.h"
#include "aio_ostream.h"
#include "mem_Alloc.h"

void* (*QORMtxUtilities::m_allocator)(size_t) = nullptr;
void (*QORMtxUtilities::m_deallocator)(void*) = nullptr;
cow_String QORMtxUtilities::m_tempDir;
bool QORMtxUtilities::m_debug = false;
bool QORMtxUtilities::m_secondaryCache = false;

namespace {
constexpr double kIntMax = 2147483647.0;
constexpr double kBytesPerMb = 1048576.0;
constexpr double kBytesPerGb = 1073741824.0;
constexpr double kDoublesPerByte = 0.125;

double PhysicalMb() { return static_cast<double>(QORBasMemInfo::Physical()); }

// Truncation toward zero of a count already limited to the int range.
int ToCount(double n) { return static_cast<int>(std::min(n, kIntMax)); }
}  // namespace

double* QORMtxUtilities::AllocateDouble(size_t n) {
  if (n == 0) return nullptr;
  // An overflowing byte count becomes the largest size, so that the allocation fails loudly.
  const size_t bytes = n > std::numeric_limits<size_t>::max() / sizeof(double) ? std::numeric_limits<size_t>::max()
                                                                                 : n * sizeof(double);
  if (m_allocator) return static_cast<double*>(m_allocator(bytes));
  return static_cast<double*>(mem_OperatorNewThrowBuiltin(bytes));
}

void QORMtxUtilities::Deallocate(double*& p) {
  if (m_deallocator) m_deallocator(p);
  else mem_Free(p);
  p = nullptr;
}

void QORMtxUtilities::SetTempDirectory(const cow_String& dir) { m_tempDir = dir; }

cow_String QORMtxUtilities::GetTempDirectory() { return m_tempDir; }

int QORMtxUtilities::MaxDoublesInBuffer(double factor) {
  QORMTX_ASSERT(factor > 0.0 && factor < 0.5);
  return ToCount(PhysicalMb() * kBytesPerMb * factor * kDoublesPerByte);
}

int QORMtxUtilities::MaxDoublesInBuffer(double maxGb, double factor) {
  QORMTX_ASSERT(factor > 0 && maxGb > 0);
  maxGb = std::min(maxGb, 16.0);
  factor = std::min(factor, 0.5);
  const double a = PhysicalMb() * kBytesPerMb * factor * kDoublesPerByte;
  const double b = maxGb * kBytesPerGb * kDoublesPerByte;
  return ToCount(std::min(a, b));
}

int QORMtxUtilities::BufferBlockSize(double maxGb, double factor, int minBlock, int maxBlock, int doublesPerUnit) {
  const double a = std::min(PhysicalMb() * 131072.0 * factor, kIntMax);
  const double b = maxGb * 134217728.0;
  const double units = std::trunc(std::min(a, b) / doublesPerUnit);
  if (units >= maxBlock) return maxBlock;
  if (units <= minBlock) return minBlock;
  const int n = static_cast<int>(units);
  return n - n % minBlock;
}

void QORMtxUtilities::LimitChunkSize2GB(int& rowChunk, int& colChunk, int nRow, int nCol) {
  const int maxDoubles = 268435456;
  QORMTX_ASSERT(nRow > 0 && nCol > 0 && nRow <= maxDoubles && nCol <= maxDoubles);
  rowChunk = std::min(rowChunk, maxDoubles / nCol);
  colChunk = std::min(colChunk, maxDoubles / nRow);
}

char* QORMtxUtilities::DoubleToChar(double value, char* buf, double zeroTol, int precision) {
  const int width = precision + 7;
  if (zeroTol > std::fabs(value)) {
    std::sprintf(buf, "%-*s", width, " 0.0");
    return buf;
  }
  std::sprintf(buf, "% *.*e", width, precision, value);
  // Exponents come as two digits everywhere: e+005 and e+05 must print alike.
  if (char* e = std::strchr(buf, 'e')) {
    char* digits = e + 2;  // past the exponent's sign
    if (std::strlen(digits) == 3 && digits[0] == '0') std::memmove(digits, digits + 1, 3);
  }
  return buf;
}

char* QORMtxUtilities::DoubleToGfmt(double value, char* buf, double zeroTol, int precision) {
  if (zeroTol >= std::fabs(value)) {
    std::strcpy(buf, "0.0");
    return buf;
  }
  std::sprintf(buf, "%.*g", precision, value);
  if (!std::strchr(buf, '.') && !std::strchr(buf, 'e')) std::strcat(buf, ".0");
  return buf;
}

void QORMtxUtilities::ReportAndAbort(const char* expression, const char* file, int line) {
  aio_cerr << "Assertion failed: " << expression << "\n";
  aio_cerr.flush();
  if (file) aio_cerr << "File " << file << ", line " << line << aio_endl;
  std::abort();
}
