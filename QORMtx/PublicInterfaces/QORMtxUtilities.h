// QORMtxUtilities: process-wide settings, buffer sizing, number formatting and the assertion routine.
#pragma once
#include <cstddef>

#include "QORBasVector.h"
#include "cow_String.h"

class QORMtxMatrix;
class QORMtxSparseMatrix;

class QORMtxUtilities {
 public:
  // ---- Settings (hold their defaults from load time; set by the host before matrices are made) ----
  static void* (*m_allocator)(size_t);
  static void (*m_deallocator)(void*);
  static cow_String m_tempDir;
  static bool m_debug;
  static bool m_secondaryCache;

  static void SetAllocator(void* (*allocator)(size_t)) { m_allocator = allocator; }
  static void SetDeallocator(void (*deallocator)(void*)) { m_deallocator = deallocator; }

  /// \brief Uninitialised array of n doubles from the host's allocator when set, else the throwing
  /// allocation. n = 0 gives null without calling anything. A host allocator's result is returned unchecked.
  static double* AllocateDouble(size_t n);
  /// \brief Releases p through the host's deallocator when set, else mem_Free; p becomes null.
  static void Deallocate(double*& p);

  /// \brief Directory for scratch files; empty means the current working directory.
  static void SetTempDirectory(const cow_String& dir);
  static cow_String GetTempDirectory();
  static void SetDebug(bool debug) { m_debug = debug; }
  static bool Debug() { return m_debug; }
  static void SetSecondaryCache(bool on) { m_secondaryCache = on; }
  static bool SecondaryCache() { return m_secondaryCache; }

  // ---- Buffer sizing ----
  /// \brief Doubles that fit in factor × physical memory, at most 2 147 483 647.
  /// Precondition "factor > 0.0 && factor < 0.5".
  static int MaxDoublesInBuffer(double factor);
  /// \brief As above, also limited to maxGb gigabytes; maxGb is capped at 16 and factor at 0.5.
  /// Precondition "factor > 0 && maxGb > 0".
  static int MaxDoublesInBuffer(double maxGb, double factor);
  /// \brief Units of doublesPerUnit values per buffer block: maxBlock when they all fit, minBlock when
  /// not even that many fit, otherwise the count lowered to a multiple of minBlock. No argument is checked.
  static int BufferBlockSize(double maxGb, double factor, int minBlock, int maxBlock, int doublesPerUnit);
  /// \brief Lowers the chunk sizes so that no chunk of an nRow × nCol matrix exceeds 2^28 doubles (2 GB).
  static void LimitChunkSize2GB(int& rowChunk, int& colChunk, int nRow, int nCol);

  // ---- Number formatting ----
  /// \brief Fixed-width scientific text (width precision + 7) with a two-digit exponent, or " 0.0"
  /// left-justified when |value| < zeroTol. buf must hold precision + 8 characters.
  static char* DoubleToChar(double value, char* buf, double zeroTol, int precision);
  /// \brief Shortest "%.*g" text that still reads as a real ("12" becomes "12.0"); "0.0" when
  /// |value| <= zeroTol.
  static char* DoubleToGfmt(double value, char* buf, double zeroTol, int precision);

  // ---- Sparse conversions (QORMtxUtilitiesSparse.cpp) ----
  /// \brief M = S as a dense UNKNOWN matrix of S's shape, zero where S stores nothing; symmetric storage is
  /// expanded to both triangles. A shape with 0 rows or 0 columns leaves M empty.
  static void Sparse2Core(const QORMtxSparseMatrix& S, QORMtxMatrix& M);
  /// \brief New matrix (owned by the caller) of A's shape minus the listed rows and columns, holding A's other
  /// elements in order. Both lists are ascending indices into A. The result has A's type, except that a DIAG A
  /// gives DIAG only when the two lists are equal (otherwise full storage, 0.0 off A's diagonal).
  static QORMtxMatrix* EliminateRowsCols(const QORMtxMatrix& A, QORBasVector<int> rows, QORBasVector<int> cols);
  /// \brief Full symmetric pattern from the strictly-lower half pattern (rowP, colI) of numRows rows: each stored
  /// (r, c) appears in row r and, mirrored, in row c. Prints a "*** QORMtxUtilities::Desymmetrize" notice.
  /// A diagonal entry in the input is entered twice.
  static void ExpandSymmetric(int numRows, const unsigned* rowP, const int* colI, QORBasVector<unsigned>& outRowP,
                              QORBasVector<int>& outColI);

  // ---- Failure ----
  /// \brief Writes "Assertion failed: <expression>" and "File <file>, line <line>" to the error
  /// stream and aborts. Never returns.
  [[noreturn]] static void ReportAndAbort(const char* expression, const char* file, int line);
};
