// QORMtxUtilities: process-wide settings, buffer sizing, number formatting and the assertion routine.
#pragma once
#include <cstddef>

#include "QORBasMap.h"
#include "QORBasVector.h"
#include "cow_String.h"

class QORMtxDenseMatrix;
class QORMtxMatrix;
class QORMtxSparseMatrix;
class QORSimCSetID;
class QORSimDistribution;
class QORSimDistributionID;
class QORSimPosition;
class omi_Set;
template <class T>
class QORSimArray;
template <class V>
class omi_IntTable;
template <class K, class V>
class cow_Btree;
template <class K, class V>
class cow_Map;

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
  /// \brief Writes S, expanded as by Sparse2Core, into rows 0 … rows-1 and columns 0 … columns-1 of dense with one
  /// block transfer; the rest of dense is left as it is. Precondition
  /// "nrows <= dense.NumberOfRows() && ncols <= dense.NumberOfColumns()". Holds one in-core copy of S's shape.
  static void Sparse2Dense(const QORMtxSparseMatrix& S, QORMtxDenseMatrix& dense);
  /// \brief New matrix (owned by the caller) of A's shape minus the listed rows and columns, holding A's other
  /// elements in order. Both lists are ascending indices into A. The result has A's type, except that a DIAG A
  /// gives DIAG only when the two lists are equal (otherwise full storage, 0.0 off A's diagonal).
  static QORMtxMatrix* EliminateRowsCols(const QORMtxMatrix& A, QORBasVector<int> rows, QORBasVector<int> cols);
  /// \brief Full symmetric pattern from the strictly-lower half pattern (rowP, colI) of numRows rows: each stored
  /// (r, c) appears in row r and, mirrored, in row c. Prints a "*** QORMtxUtilities::Desymmetrize" notice.
  /// A diagonal entry in the input is entered twice.
  static void ExpandSymmetric(int numRows, const unsigned* rowP, const int* colI, QORBasVector<unsigned>& outRowP,
                              QORBasVector<int>& outColI);

  // ---- Data-store distributions (QORMtxUtilitiesDistribution.cpp) ----
  // Matrices: dimension 0 over the columns, 1 over the rows, so a block read is column-major. A chunk of -1
  // leaves that dimension unchunked; a type below 0 makes an untyped distribution. When rows and columns share a
  // collection the columns move to its colour-1 variant (a grid may not name a collection twice).
  /// \brief Persistent vector distribution of doubles over rows, at position.
  static QORSimDistributionID Create1DDistribution(QORSimPosition& position, int type, const QORSimCSetID& rows,
                                                   int chunk);
  /// \brief Vector distribution of doubles over rows, in the context of the rows' collection.
  static QORSimDistributionID Create1DDistribution(const QORSimCSetID& rows, int chunk);
  /// \brief Persistent matrix distribution of doubles; a chunk not smaller than its set becomes unchunked.
  static QORSimDistributionID Create2DDistribution(QORSimPosition& position, int type, const QORSimCSetID& rows,
                                                   const QORSimCSetID& cols, int rowChunk, int colChunk);
  /// \brief Matrix distribution of doubles in the context of the rows' collection; chunks passed on as given.
  static QORSimDistributionID Create2DDistribution(const QORSimCSetID& rows, const QORSimCSetID& cols, int rowChunk,
                                                   int colChunk);
  /// \brief Unchunked integer matrix distribution (initial value 0) in the context of the rows' collection.
  static QORSimDistributionID Create2DIntegerDistribution(const QORSimCSetID& rows, const QORSimCSetID& cols);
  /// \brief Distribution over sets (the first set is the last, fastest dimension). At most one pair of sets may
  /// share a collection; more gives a null identifier. Non-empty chunkSizes require
  /// "chunkSizes.Size() == dimension".
  static QORSimDistributionID CreateDistribution(QORSimPosition& position, int type, QORSimArray<QORSimCSetID> sets,
                                                 QORSimArray<int> chunkSizes, bool temporary);
  /// \brief Empty [rows, cols] double distribution for a sparse matrix (no drawer); cols may move to colour 1.
  static QORSimDistributionID CreateSparseDistribution(QORSimCSetID& rows, QORSimCSetID& cols);
  static QORSimDistributionID CreateSparseDistribution(QORSimPosition& position, int type, QORSimCSetID& rows,
                                                       QORSimCSetID& cols);
  /// \brief New integer vector distribution over set holding values[0 … n-1].
  static QORSimDistributionID Write1DIntegerDistribution(const QORSimCSetID& set, const int* values, int n);
  /// \brief The set and values of an integer vector distribution; a null id leaves both untouched.
  /// Preconditions "dist.NumDimensions() == 1", "drawerDescriptions.Size() == 1",
  /// "drawerDescriptions[0].SerializationType().IsStandard()", "drawerDescriptions[0].DataTypeKey() == QORSimIntKey".
  static void Read1DIntegerDistribution(const QORSimDistributionID& id, QORSimCSetID& set, QORBasVector<int>& values);
  /// \brief The set's ordinals in set order, in an array the caller frees with mem_Free.
  static int* GetOrdinals(const QORSimCSetID& set);
  static int* GetOrdinals(const QORSimCSetID& set, int& n);
  /// \brief The set's ordinals in set order; empty for a null set.
  static void GetOrdinals(const QORSimCSetID& set, QORBasVector<int>& ordinals);
  /// \brief domain = the set's ordinals (GetDomain clears first, AddDomain does not).
  static void GetDomain(const QORSimCSetID& set, omi_Set& domain);
  static void AddDomain(const QORSimCSetID& set, omi_Set& domain);
  /// \brief Members first … first+count-1 of set, as a temporary set; the set itself when count is its size.
  static QORSimCSetID SubCSet(const QORSimCSetID& set, int first, int count);
  /// \brief map: position i in a -> position in b of the same value. Negative values never match; a repeated
  /// non-negative value in b fails "mapInvB.Insert(arrB[i], i)" (in a, "mapInvA.Insert(arrA[i], i)" under Debug()).
  static void MapIntArrays(const int* arrA, int nA, const int* arrB, int nB, omi_IntTable<int>& map);
  static void MapIntVectors(const QORBasVector<int>& a, const QORBasVector<int>& b, omi_IntTable<int>& map);
  static void MapCSets(const QORSimCSetID& a, const QORSimCSetID& b, omi_IntTable<int>& map);
  /// \brief 1 or 2 dimensions, one standard drawer.
  static bool IsDenseMatrix(const QORSimDistribution& dist);
  /// \brief 2 dimensions, one sparse or sparse-symmetric drawer.
  static bool IsSparseMatrix(const QORSimDistribution& dist);
  /// \brief Exactly 3 dimensions.
  static bool IsMultiMatrix(const QORSimDistribution& dist);

  // ---- Diagnostic dumps to standard output (QORMtxUtilitiesDumps.cpp) ----
  /// The Line forms print the header "%s(%i):" (title, count) and the items on one line; the others print
  /// "%s, size %i:" and blocks of ten items, each block after "\n i=%7i:" (the first index); maps print "%s map
  /// size %i, key/value pairs:\n" and items " %6i/%-2i" with "\n" before every tenth; sets "%s set, size %i:" and
  /// " %7i" ten to a line. A null title prints no header. Every dump ends with "\n".
  static void DumpArrLine(const int* a, int n, const char* title);
  static void DumpArrLine(const double* a, int n, const char* title);
  static void DumpArray(const int* a, int n, const char* title);
  static void DumpArray(const double* a, int n, const char* title);
  static void DumpVecLine(const QORBasVector<int>& v, const char* title);
  static void DumpVecLine(const QORBasVector<double>& v, const char* title);
  static void DumpVector(const QORBasVector<int>& v, const char* title);
  static void DumpVector(const QORBasVector<double>& v, const char* title);
  /// \warning An empty QORBasMap still ends with "\n", unlike the other empty maps.
  static void DumpMap(const QORBasMap<int, int>& map, const char* title);
  static void DumpMap(const cow_Btree<int, int>& map, const char* title);
  static void DumpMap(const omi_IntTable<int>& map, const char* title);
  static void DumpMapLine(const QORBasMap<int, int>& map, const char* title);
  static void DumpMapLine(const cow_Btree<int, int>& map, const char* title);
  static void DumpMapLine(const cow_Map<int, cow_String>& map, const char* title);
  static void DumpMapLine(const omi_IntTable<int>& map, const char* title);
  static void DumpSet(const omi_Set& set, const char* title);
  static void DumpSetLine(const omi_Set& set, const char* title);

  // ---- Failure ----
  /// \brief Writes "Assertion failed: <expression>" and "File <file>, line <line>" to the error
  /// stream and aborts. Never returns.
  [[noreturn]] static void ReportAndAbort(const char* expression, const char* file, int line);
};
