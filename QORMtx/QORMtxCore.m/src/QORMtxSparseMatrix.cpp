// QORMtxSparseMatrix: sparse matrix of doubles in compressed rows, unsymmetric or symmetric storage, with assembly.
#include "QORMtxSparseMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "QORFsmElementDofs.h"
#include "QORMtxAssert.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "QORMtxSortInt.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "aio_ostream.h"
#include "mem_Alloc.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

using namespace qormtx_sparse;

namespace {

// Count → prefix sum → scatter: a stable bucket sort of the entries by row. Afterwards start[r]..start[r+1]-1 of
// cols and vals hold row r's entries in list order. start has numRows + 1 slots; cols and vals n.
void ScatterByRow(const QORMtxSparseMatrixEntry* e, int n, int numRows, unsigned* start, int* cols, double* vals) {
  std::fill(start, start + numRows + 1, 0u);
  for (int i = 0; i < n; ++i) ++start[e[i].m_row + 1];
  CountsToStarts(start, static_cast<size_t>(numRows));
  // start[r] serves as row r's cursor; after the scatter it holds row r's end, which is row r+1's start.
  for (int i = 0; i < n; ++i) {
    const unsigned k = start[e[i].m_row]++;
    cols[k] = static_cast<int>(e[i].m_col);
    vals[k] = e[i].m_value;
  }
  for (int r = numRows; r > 0; --r) start[r] = start[r - 1];
  start[0] = 0;
}

// Sums the duplicates of each bucketed row in list order and sorts the row's distinct columns, compacting all rows
// towards the front of cols and vals: afterwards start holds the compressed row starts and the distinct entries lie
// in cols[0..start[numRows]).
void CompressRows(int numRows, int numCols, unsigned* start, int* cols, double* vals) {
  // mark[c] - 1 is the compacted position of column c in the row being built; a position before the row's first
  // one is stale, so the array needs no clearing between rows.
  std::unique_ptr<unsigned[]> mark(new unsigned[static_cast<size_t>(numCols)]());
  QORBasVector<int> perm;
  QORBasVector<double> scratch;
  unsigned w = 0;
  unsigned rowBegin = start[0];
  for (int r = 0; r < numRows; ++r) {
    const unsigned rowEnd = start[r + 1];
    const unsigned w0 = w;
    start[r] = w0;
    for (unsigned k = rowBegin; k < rowEnd; ++k) {
      const int c = cols[k];
      const unsigned m = mark[c];
      if (m > w0) {
        vals[m - 1] += vals[k];
      } else {
        mark[c] = w + 1;
        cols[w] = c;
        vals[w] = vals[k];
        ++w;
      }
    }
    SortRow(cols + w0, vals + w0, static_cast<int>(w - w0), perm, scratch);
    rowBegin = rowEnd;
  }
  start[numRows] = w;
}

// Moves every entry of e[begin[0]..begin[count]) into its bucket key(entry) - base, bucket k holding the slots
// begin[k]..begin[k+1]-1 (American flag sort). next is scratch for count cursors. Buckets before k are complete when
// k's slots are filled, so every entry met there belongs to k or a later bucket.
template <class Key>
void CyclePermute(QORMtxSparseMatrixEntry* e, const unsigned* begin, unsigned* next, unsigned count, unsigned base,
                  Key key) {
  std::copy(begin, begin + count, next);
  for (unsigned k = 0; k < count; ++k) {
    const unsigned end = begin[k + 1];
    while (next[k] < end) {
      QORMtxSparseMatrixEntry cur = e[next[k]];
      for (unsigned b = key(cur) - base; b != k; b = key(cur) - base) {
        // Each bucket fills its slots in order: fetching two cache lines ahead turns the chain of dependent
        // misses into hits (a prefetch past the end of the list is harmless).
        __builtin_prefetch(e + next[b] + 8);
        std::swap(cur, e[next[b]++]);
      }
      e[next[k]++] = cur;
    }
  }
}

// Groups the entries of rows lo..hi-1 (slots start[lo]..start[hi]-1) by row in place; start holds the row starts
// (prefix sums of the row counts), next is scratch with a slot per row. Each cycle step reads the slot it writes, so
// a pass over many buckets of a large list waits on a cache and TLB miss per entry. Passes of at most 256 buckets
// (blocks of consecutive rows) keep the cursors' lines and pages cached, until a block is small enough for the
// cache and is bucketed by row directly.
void BucketRowsInPlace(QORMtxSparseMatrixEntry* e, const unsigned* start, unsigned* next, unsigned lo, unsigned hi) {
  constexpr unsigned kMaxBuckets = 256;
  constexpr size_t kCacheBytes = size_t{256} << 10;
  const unsigned rows = hi - lo;
  if (rows <= kMaxBuckets || (start[hi] - start[lo]) * sizeof(QORMtxSparseMatrixEntry) <= kCacheBytes) {
    CyclePermute(e, start + lo, next + lo, rows, lo, [](const QORMtxSparseMatrixEntry& x) { return x.m_row; });
    return;
  }
  unsigned shift = 0;
  while (((rows - 1) >> shift) >= kMaxBuckets) ++shift;
  const unsigned blocks = ((rows - 1) >> shift) + 1;
  unsigned blockStart[kMaxBuckets + 1];
  for (unsigned k = 0; k < blocks; ++k) blockStart[k] = start[lo + (k << shift)];
  blockStart[blocks] = start[hi];
  CyclePermute(e, blockStart, next + lo, blocks, 0u,
               [lo, shift](const QORMtxSparseMatrixEntry& x) { return (x.m_row - lo) >> shift; });
  for (unsigned k = 0; k < blocks; ++k)
    BucketRowsInPlace(e, start, next, lo + (k << shift), std::min(hi, lo + ((k + 1) << shift)));
}

}  // namespace

// ================================================================================================================
// Construction and lifetime
// ================================================================================================================

QORMtxSparseMatrix::QORMtxSparseMatrix(int numRows, int numCols, int n)
    : m_numRows(numRows), m_numCols(numCols), m_entries(n) {
  QORMTX_ASSERT(n <= 0 || (numRows > 0 && numCols > 0));
}

QORMtxSparseMatrix::QORMtxSparseMatrix(unsigned* rowP, int* colI, double* data, double* diagonal, int numNonzeros,
                                       int numRows, int numCols)
    : m_data(data),
      m_colI(colI),
      m_rowP(rowP),
      m_diagonal(diagonal),
      m_numNonzeros(numNonzeros),
      m_numRows(numRows),
      m_numCols(numCols),
      m_symFlag(diagonal ? e_symmetric : e_unknown),
      m_assemblyComplete(true) {}

QORMtxSparseMatrix::~QORMtxSparseMatrix() { ReleaseArrays(); }

void QORMtxSparseMatrix::ReleaseArrays() {
  if (m_data) QORMtxUtilities::Deallocate(m_data);
  if (m_diagonal) QORMtxUtilities::Deallocate(m_diagonal);
  mem_Free(m_colI);
  mem_Free(m_rowP);
  m_data = nullptr;
  m_diagonal = nullptr;
  m_colI = nullptr;
  m_rowP = nullptr;
}

// ================================================================================================================
// Assembly
// ================================================================================================================

void QORMtxSparseMatrix::BeginAssembly(bool reset) {
  ReleaseArrays();
  m_numNonzeros = 0;
  m_symFlag = e_unknown;
  m_assemblyComplete = false;
  m_entries.Clear();
  m_entryReallocations = 0;
  if (reset) {
    m_rowSetID = QORSimCSetID();
    m_colSetID = QORSimCSetID();
    m_numRows = 0;
    m_numCols = 0;
  }
}

void QORMtxSparseMatrix::ReserveEntries(int n) {
  if (n > m_entries.Capacity()) m_entries.Reserve(n);
}

void QORMtxSparseMatrix::AddDataChecked(unsigned row, unsigned col, double value, bool grow) {
  QORMTX_ASSERT(m_assemblyComplete == false);
  if (grow) {
    // The shape is an int: indices from 2^31 - 1 on cannot be grown into.
    QORMTX_ASSERT(row < 2147483647u && col < 2147483647u);
    m_numRows = std::max(m_numRows, static_cast<int>(row) + 1);
    m_numCols = std::max(m_numCols, static_cast<int>(col) + 1);
  } else {
    // Named as the members so that the failure names the condition as written; compared unsigned.
    const unsigned m_numRows = static_cast<unsigned>(this->m_numRows);
    const unsigned m_numCols = static_cast<unsigned>(this->m_numCols);
    QORMTX_ASSERT(row < m_numRows && col < m_numCols);
  }
  if (m_entries.Length() == m_entries.Capacity()) ++m_entryReallocations;
  m_entries.Append(row, col, value);
}

void QORMtxSparseMatrix::EndAssembly(bool symmetric) {
  if (m_assemblyComplete) return;
  ReleaseArrays();
  m_numNonzeros = 0;
  m_symFlag = e_unknown;
  if (m_entries.Length() == 0) {
    if (static_cast<long long>(m_numRows) * m_numCols == 0) return;
    m_rowP = NewUnsigned(static_cast<size_t>(m_numRows) + 1);
    std::fill(m_rowP, m_rowP + m_numRows + 1, 0u);
    m_assemblyComplete = true;
    return;
  }
  // Read at every call, so that a test or a host can switch paths between assemblies.
  if (std::getenv("ZUL_MTXSPARSE_NEWASMB"))
    AssembleBuckets(symmetric);
  else
    AssembleSorted(symmetric);
  m_entries.Clear();
  m_assemblyComplete = true;
}

// The sorting assembly. Sorting the whole list would cost O(n log n) and a second list; instead the list is bucketed
// by row in place (count, prefix sums, then each entry cycled to its row's slots, in cache-sized passes), and
// each row is sorted
// by column, its duplicates summed, and copied into exactly sized arrays. Apart from those arrays only two row-start
// arrays are allocated, which matters because touching fresh memory is the dearest part of assembling a large
// matrix. Like the list sort this replaces, the bucketing is not stable: duplicates are summed in no defined order.
void QORMtxSparseMatrix::AssembleSorted(bool symmetric) {
  QORMtxSparseMatrixEntry* e = m_entries.Data();
  const int n = m_entries.Length();
  if (symmetric) {
    for (int i = 0; i < n; ++i) {
      // Compared as signed integers, as the entry order does.
      struct {
        int m_row, m_col;
      } currEntry = {static_cast<int>(e[i].m_row), static_cast<int>(e[i].m_col)};
      QORMTX_ASSERT(currEntry.m_row >= currEntry.m_col && "Ensure lower half of symmetric matrix provided");
    }
  }
  const int numRows = m_numRows;

  // Row starts in start (numRows + 1); next holds cursors, later each row's stored count.
  Owned<unsigned> start(NewUnsigned(static_cast<size_t>(numRows) + 1));
  Owned<unsigned> next(NewUnsigned(static_cast<size_t>(numRows) + 1));
  std::fill(start.get(), start.get() + numRows + 1, 0u);
  for (int i = 0; i < n; ++i) ++start[e[i].m_row + 1];
  CountsToStarts(start.get(), static_cast<size_t>(numRows));
  if (n <= 65536 && m_numCols <= 4 * n) {
    // A cache-sized list: two stable counting scatters, by column into scratch and back by row, leave every row in
    // ascending column order without a comparison, which beats the cycles' mispredicted branches. Not when the
    // columns far outnumber the entries: the column counts would cost more than the rows' sorts below.
    QORBasVector<QORMtxSparseMatrixEntry> byColumn(n);
    QORBasVector<unsigned> colNext(m_numCols + 1, 0u);
    for (int i = 0; i < n; ++i) ++colNext[static_cast<int>(e[i].m_col) + 1];
    CountsToStarts(colNext.data(), static_cast<size_t>(m_numCols));
    for (int i = 0; i < n; ++i) byColumn[static_cast<int>(colNext[static_cast<int>(e[i].m_col)]++)] = e[i];
    std::copy(start.get(), start.get() + numRows, next.get());
    for (int k = 0; k < n; ++k) e[next[byColumn[k].m_row]++] = byColumn[k];
  } else {
    BucketRowsInPlace(e, start.get(), next.get(), 0u, static_cast<unsigned>(numRows));
  }

  // Per row: sort by column, sum duplicates towards the front of the row's slots, set the diagonal aside.
  Owned<double> diagonal;
  if (symmetric) {
    diagonal.Reset(NewDouble(static_cast<size_t>(numRows)));
    std::fill(diagonal.get(), diagonal.get() + numRows, 0.0);
  }
  const auto byColumn = [](const QORMtxSparseMatrixEntry& a, const QORMtxSparseMatrixEntry& b) {
    return a.m_col < b.m_col;
  };
  size_t nnz = 0;
  for (int r = 0; r < numRows; ++r) {
    QORMtxSparseMatrixEntry* first = e + start[r];
    QORMtxSparseMatrixEntry* last = e + start[r + 1];
    const ptrdiff_t len = last - first;
    if (len <= 64) {
      for (ptrdiff_t i = 1; i < len; ++i) {
        const QORMtxSparseMatrixEntry x = first[i];
        ptrdiff_t j = i - 1;
        for (; j >= 0 && first[j].m_col > x.m_col; --j) first[j + 1] = first[j];
        first[j + 1] = x;
      }
    } else {
      std::sort(first, last, byColumn);
    }
    QORMtxSparseMatrixEntry* w = first;
    for (QORMtxSparseMatrixEntry* p = first; p < last; ++p) {
      if (symmetric && p->m_col == p->m_row) {
        diagonal[r] += p->m_value;
      } else if (w > first && w[-1].m_col == p->m_col) {
        w[-1].m_value += p->m_value;
      } else {
        *w++ = *p;
      }
    }
    next[r] = static_cast<unsigned>(w - first);
    nnz += next[r];
  }

  Owned<int> colI(nnz ? NewInt(nnz) : nullptr);
  Owned<double> data(nnz ? NewDouble(nnz) : nullptr);
  size_t k = 0;
  for (int r = 0; r < numRows; ++r) {
    const QORMtxSparseMatrixEntry* p = e + start[r];
    for (unsigned i = 0; i < next[r]; ++i, ++k) {
      colI[k] = static_cast<int>(p[i].m_col);
      data[k] = p[i].m_value;
    }
  }
  start[0] = 0;
  for (int r = 0; r < numRows; ++r) start[r + 1] = start[r] + next[r];

  AdoptArrays(start.Release(), colI.Release(), data.Release(), diagonal.Release(), nnz);
  if (symmetric) m_symFlag = e_symmetric;
}

// The bucket assembly: a stable bucket sort by row, then a stable sort of each row by column, so that the values of
// a position are added in list order; the distinct columns give the row's stored entries. Nothing is indexed by
// column, so the cost follows the entries and rows whatever the column count.
void QORMtxSparseMatrix::AssembleBuckets(bool symmetric) {
  const QORMtxSparseMatrixEntry* e = m_entries.Data();
  const int n = m_entries.Length();
  std::printf("*** QORMtxSparseMatrix::NewAssemble: m_numRows=%i, m_numCols=%i, nnz=%i, %ssymmetric\n", m_numRows,
              m_numCols, n, symmetric ? "" : "un");

  std::vector<unsigned> start(static_cast<size_t>(m_numRows) + 1);
  QORBasVector<int> bucketCol(n);
  QORBasVector<double> bucketVal(n);
  ScatterByRow(e, n, m_numRows, start.data(), bucketCol.data(), bucketVal.data());

  // Row sizes: distinct columns of each sorted bucket, without the row's own index in symmetric mode.
  std::vector<std::pair<int, double>> sorted(static_cast<size_t>(n));
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(m_numRows) + 1));
  rowP[0] = 0;
  for (int r = 0; r < m_numRows; ++r) {
    const auto first = sorted.begin() + start[r], last = sorted.begin() + start[r + 1];
    for (unsigned k = start[r]; k < start[r + 1]; ++k)
      sorted[k] = {bucketCol[static_cast<int>(k)], bucketVal[static_cast<int>(k)]};
    std::stable_sort(first, last, [](const std::pair<int, double>& a, const std::pair<int, double>& b) {
      return a.first < b.first;
    });
    unsigned size = 0;
    for (auto p = first; p != last; ++p)
      if (!(symmetric && p->first == r) && (p == first || p[-1].first != p->first)) ++size;
    rowP[r + 1] = rowP[r] + size;
  }
  const unsigned nnz = rowP[m_numRows];

  Owned<int> colI(nnz ? NewInt(nnz) : nullptr);
  Owned<double> data(nnz ? NewDouble(nnz) : nullptr);
  if (nnz) std::fill(data.get(), data.get() + nnz, 0.0);
  Owned<double> diagonal;
  if (symmetric) {
    diagonal.Reset(NewDouble(static_cast<size_t>(m_numRows)));
    std::fill(diagonal.get(), diagonal.get() + m_numRows, 0.0);
  }
  for (int r = 0; r < m_numRows; ++r) {
    unsigned w = rowP[r];
    for (unsigned k = start[r]; k < start[r + 1]; ++k) {
      const int c = sorted[k].first;
      if (symmetric && c == r) {
        diagonal[r] += sorted[k].second;
        continue;
      }
      if (w > rowP[r] && colI[w - 1] == c) {
        data[w - 1] += sorted[k].second;
      } else {
        colI[w] = c;
        data[w++] += sorted[k].second;
      }
    }
  }
  AdoptArrays(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), nnz);
  if (symmetric) m_symFlag = e_symmetric;
}

void QORMtxSparseMatrix::ResetData(const QORMtxSparseMatrixEntry* entries, int n, int numRows, int numCols) {
  ReleaseArrays();
  m_symFlag = e_unknown;
  m_numNonzeros = 0;
  m_numRows = numRows;
  m_numCols = numCols;
  m_entries.Clear();
  {
    const unsigned m_numRows = static_cast<unsigned>(numRows);
    const unsigned m_numCols = static_cast<unsigned>(numCols);
    for (int i = 0; i < n; ++i) {
      const unsigned row = entries[i].m_row, col = entries[i].m_col;
      QORMTX_ASSERT(row < m_numRows && col < m_numCols);
    }
  }
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(numRows) + 1));
  Owned<int> cols(n > 0 ? NewInt(static_cast<size_t>(n)) : nullptr);
  Owned<double> vals(n > 0 ? NewDouble(static_cast<size_t>(n)) : nullptr);
  ScatterByRow(entries, n, numRows, rowP.get(), cols.get(), vals.get());
  CompressRows(numRows, numCols, rowP.get(), cols.get(), vals.get());
  const unsigned nnz = rowP[numRows];
  if (nnz != static_cast<unsigned>(n)) {
    Owned<int> exactCols(nnz ? NewInt(nnz) : nullptr);
    Owned<double> exactVals(nnz ? NewDouble(nnz) : nullptr);
    if (nnz) {
      std::memcpy(exactCols.get(), cols.get(), sizeof(int) * nnz);
      std::memcpy(exactVals.get(), vals.get(), sizeof(double) * nnz);
    }
    cols.Swap(exactCols);
    vals.Swap(exactVals);
  }
  AdoptArrays(rowP.Release(), cols.Release(), vals.Release(), nullptr, nnz);
  m_assemblyComplete = true;
}

void QORMtxSparseMatrix::AdoptArrays(unsigned* rowP, int* colI, double* data, double* diagonal, size_t nnz) {
  const size_t numberOfEntries = nnz + (diagonal ? static_cast<size_t>(m_numRows) : 0);
  QORMTX_ASSERT(numberOfEntries <= 2147483647u && "more stored values than NumberOfEntries() counts");
  ReleaseArrays();
  m_rowP = rowP;
  m_colI = colI;
  m_data = data;
  m_diagonal = diagonal;
  m_numNonzeros = static_cast<int>(nnz);
}

void QORMtxSparseMatrix::AdoptAssembled(QORMtxSparseMatrix& built) {
  ReleaseArrays();
  m_entries.Clear();
  m_numRows = built.m_numRows;
  m_numCols = built.m_numCols;
  std::swap(m_data, built.m_data);
  std::swap(m_colI, built.m_colI);
  std::swap(m_rowP, built.m_rowP);
  std::swap(m_diagonal, built.m_diagonal);
  m_numNonzeros = built.m_numNonzeros;
  m_symFlag = built.m_symFlag;
  m_assemblyComplete = built.m_assemblyComplete;
}

void QORMtxSparseMatrix::Reset(int numRows, int numCols) {
  ReleaseArrays();
  m_rowSetID = QORSimCSetID();
  m_colSetID = QORSimCSetID();
  m_rowOrdinals.Clear();
  m_colOrdinals.Clear();
  m_entries.Clear();
  m_entryReallocations = 0;
  m_numRows = numRows;
  m_numCols = numCols;
  m_numNonzeros = 0;
  m_symFlag = e_unknown;
  m_assemblyComplete = false;
}

namespace {
bool Violation(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}
}  // namespace

bool QORMtxSparseMatrix::CheckInvariants(std::string* why) const {
  if (!m_assemblyComplete) {
    if (m_rowP || m_colI || m_data || m_diagonal || m_numNonzeros)
      return Violation(why, "collecting matrix holds stored arrays");
    return true;
  }
  if (m_numRows < 0 || m_numCols < 0) return Violation(why, "negative shape");
  if (!m_rowP) return Violation(why, "assembled matrix without row starts");
  if (m_rowP[0] != 0) return Violation(why, "row starts begin at " + std::to_string(m_rowP[0]) + ", not 0");
  for (int r = 0; r < m_numRows; ++r)
    if (m_rowP[r + 1] < m_rowP[r]) return Violation(why, "row starts decrease at row " + std::to_string(r));
  if (m_rowP[m_numRows] != static_cast<unsigned>(m_numNonzeros))
    return Violation(why, "last row start " + std::to_string(m_rowP[m_numRows]) + " differs from the nonzero count " +
                              std::to_string(m_numNonzeros));
  if (m_numNonzeros > 0 && (!m_colI || !m_data)) return Violation(why, "nonzeros without column or value array");
  if (m_diagonal && m_numRows != m_numCols) return Violation(why, "symmetric storage of a non-square matrix");
  for (int r = 0; r < m_numRows; ++r) {
    for (unsigned k = m_rowP[r]; k < m_rowP[r + 1]; ++k) {
      const int c = m_colI[k];
      const std::string at = "row " + std::to_string(r) + ", column " + std::to_string(c);
      if (c < 0 || c >= m_numCols) return Violation(why, "column out of range at " + at);
      if (k > m_rowP[r] && m_colI[k - 1] >= c) return Violation(why, "columns not strictly ascending at " + at);
      if (!m_diagonal) continue;
      // Each stored off-diagonal entry stands for itself and its mirror, on either side of the diagonal (a
      // permutation moves entries across it); the diagonal has its own array.
      if (c == r) return Violation(why, "symmetric storage holds a diagonal entry in the row arrays at " + at);
      if (c > r && FindIndex(m_colI + m_rowP[c], static_cast<int>(m_rowP[c + 1] - m_rowP[c]), r) >= 0)
        return Violation(why, "symmetric storage holds an entry and its mirror at " + at);
    }
  }
  return true;
}

// ================================================================================================================
// Queries
// ================================================================================================================

int QORMtxSparseMatrix::FindIndex(const int* a, int n, int value) const {
  if (n < 1) return -1;
  const int* p = std::lower_bound(a, a + n, value);
  return p != a + n && *p == value ? static_cast<int>(p - a) : -1;
}

bool QORMtxSparseMatrix::IsSymmetric() const {
  QORMTX_ASSERT(m_assemblyComplete);
  if (m_symFlag == e_symmetric) return true;
  if (m_symFlag == e_unsymmetric) return false;
  long long above = 0, below = 0;
  for (int r = 0; r < m_numRows; ++r)
    for (unsigned k = m_rowP[r]; k < m_rowP[r + 1]; ++k) {
      above += m_colI[k] > r;
      below += m_colI[k] < r;
    }
  if (above != below) {
    m_symFlag = e_unsymmetric;
    return false;
  }
  for (int r = 0; r < m_numRows; ++r) {
    for (unsigned k = m_rowP[r]; k < m_rowP[r + 1]; ++k) {
      const int c = m_colI[k];
      if (c >= r) continue;
      const int i = FindIndex(m_colI + m_rowP[c], static_cast<int>(m_rowP[c + 1] - m_rowP[c]), r);
      if (i < 0) {
        m_symFlag = e_unsymmetric;
        return false;
      }
      const double a = m_data[m_rowP[c] + static_cast<unsigned>(i)];
      const double b = m_data[k];
      const double diff = a == 0.0 ? a - b : (a - b) / a;
      if (std::fabs(diff) > 1e-16) {
        m_symFlag = e_unsymmetric;
        return false;
      }
    }
  }
  m_symFlag = e_symmetric;
  return true;
}

bool QORMtxSparseMatrix::IsZero() const {
  if (m_numRows == 0) return true;
  for (int k = 0; k < m_numNonzeros; ++k)
    if (!(m_data[k] == 0.0)) return false;
  if (m_diagonal)
    for (int r = 0; r < m_numRows; ++r)
      if (!(m_diagonal[r] == 0.0)) return false;
  return true;
}

bool QORMtxSparseMatrix::IsPerfectlySquare() const {
  if (!IsSquare()) return false;
  const int* rowOrds = GetRowOrdinals();
  const int* colOrds = GetColOrdinals();
  if (!rowOrds && !colOrds) return true;
  if (!rowOrds || !colOrds) return false;
  return std::equal(rowOrds, rowOrds + m_numRows, colOrds);
}

// The failure texts below keep the spacing of the conditions callers match on ("row >=0").
// clang-format off
int QORMtxSparseMatrix::RowSize(int row) const {
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::RowSize() is currently implemented for the unsymetric case only");
  QORMTX_ASSERT(row >=0 && row < m_numRows);
  if (IsNull()) return 0;
  return static_cast<int>(m_rowP[row + 1] - m_rowP[row]);
}

const int* QORMtxSparseMatrix::RowColumns(int row) const {
  QORMTX_ASSERT(!m_diagonal &&
                "QORMtxSparseMatrix::RowColumns() is currently implemented for the unsymetric case only");
  QORMTX_ASSERT(row >=0 && row < m_numRows);
  if (IsNull()) return nullptr;
  return m_colI + m_rowP[row];
}

const double* QORMtxSparseMatrix::RowValues(int row) const {
  QORMTX_ASSERT(!IsNull() && row >=0 && row < m_numRows);
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::RowValues() is currently implemented for the unsymetric case only");
  QORMTX_ASSERT(row >=0 && row < m_numRows);
  return m_data + m_rowP[row];
}

// clang-format on

double* QORMtxSparseMatrix::RowValues(int row) {
  return const_cast<double*>(static_cast<const QORMtxSparseMatrix*>(this)->RowValues(row));
}

// ================================================================================================================
// Simple operations
// ================================================================================================================

void QORMtxSparseMatrix::Scale(double s) {
  for (int k = 0; k < m_numNonzeros; ++k) m_data[k] *= s;
  if (m_diagonal)
    for (int r = 0; r < m_numRows; ++r) m_diagonal[r] *= s;
}

void QORMtxSparseMatrix::SetColumnsToZero(const int* cols, int n) {
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::SetColumnsToZero: symmetric not supported");
  if (m_numNonzeros == 0 || n <= 0) return;
  QORBasVector<char> listed(m_numCols, 0);
  for (int i = 0; i < n; ++i)
    if (cols[i] >= 0 && cols[i] < m_numCols) listed[cols[i]] = 1;
  for (int k = 0; k < m_numNonzeros; ++k)
    if (listed[m_colI[k]]) m_data[k] = 0.0;
}

void QORMtxSparseMatrix::ScanForNans(const char* name, const char* file, int line) const {
  for (QORMtxSparseMatrixIterator it(*this); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (std::isnan(e.m_value))
      std::printf("*** NAN detected at %s[%u,%u]: %11.2e at %s, line %d\n", name, e.m_row, e.m_col, e.m_value, file,
                  line);
  }
}

void QORMtxSparseMatrix::ToOneBased() {
  for (int k = 0; k < m_numNonzeros; ++k) ++m_colI[k];
  if (m_rowP)
    for (int r = 0; r <= m_numRows; ++r) ++m_rowP[r];
}

void QORMtxSparseMatrix::ToZeroBased() {
  for (int k = 0; k < m_numNonzeros; ++k) --m_colI[k];
  if (m_rowP)
    for (int r = 0; r <= m_numRows; ++r) --m_rowP[r];
}

QORMtxSparseMatrixEntry* QORMtxSparseMatrix::GetEntries(int& count) const {
  count = 0;
  if (m_numRows == 0) return nullptr;
  const size_t total = m_diagonal ? static_cast<size_t>(m_numRows) + 2 * static_cast<size_t>(m_numNonzeros)
                                  : static_cast<size_t>(m_numNonzeros);
  auto* out =
      static_cast<QORMtxSparseMatrixEntry*>(mem_OperatorNewThrowBuiltin(total * sizeof(QORMtxSparseMatrixEntry)));
  size_t i = 0;
  for (QORMtxSparseMatrixIterator it(*this); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (m_diagonal && e.m_row != e.m_col) out[i++] = QORMtxSparseMatrixEntry{e.m_col, e.m_row, e.m_value};
    out[i++] = e;
  }
  count = static_cast<int>(i);
  return out;
}

void QORMtxSparseMatrix::GetBlock(const QORBasVector<int>& rows, const QORBasVector<int>& cols,
                                  QORMtxSparseMatrix& A) const {
  QORMTX_ASSERT(A.IsNull());
  // Index → position tables as flat arrays over this matrix's rows and columns; the first listing of an index
  // wins, and listed indices outside the matrix can never match an entry.
  QORBasVector<int> rowPos(m_numRows, -1);
  QORBasVector<int> colPos(m_numCols, -1);
  for (int i = 0; i < rows.size(); ++i)
    if (rows[i] >= 0 && rows[i] < m_numRows && rowPos[rows[i]] < 0) rowPos[rows[i]] = i;
  for (int j = 0; j < cols.size(); ++j)
    if (cols[j] >= 0 && cols[j] < m_numCols && colPos[cols[j]] < 0) colPos[cols[j]] = j;

  A.BeginAssembly(true);
  for (QORMtxSparseMatrixIterator it(*this); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    const int r = static_cast<int>(e.m_row), c = static_cast<int>(e.m_col);
    if (rowPos[r] >= 0 && colPos[c] >= 0)
      A.AddData(static_cast<unsigned>(rowPos[r]), static_cast<unsigned>(colPos[c]), e.m_value, true);
    // The mirror of an off-diagonal entry of symmetric storage; rows and columns share one index range there.
    if (m_diagonal && r != c && c < m_numRows && r < m_numCols && rowPos[c] >= 0 && colPos[r] >= 0)
      A.AddData(static_cast<unsigned>(rowPos[c]), static_cast<unsigned>(colPos[r]), e.m_value, true);
  }
  A.EndAssembly(false);
}

unsigned* QORMtxSparseMatrix::FindNontrivialRows(int& n) const {
  n = 0;
  unsigned* out = NewUnsigned(static_cast<size_t>(m_numRows));
  if (!m_rowP) return out;
  for (int r = 0; r < m_numRows; ++r)
    if (m_rowP[r + 1] > m_rowP[r]) out[n++] = static_cast<unsigned>(r);
  return out;
}

unsigned* QORMtxSparseMatrix::FindNontrivialColumns(int& n) const {
  n = 0;
  unsigned* out = NewUnsigned(static_cast<size_t>(m_numCols));
  QORBasVector<char> used(m_numCols, 0);
  for (int k = 0; k < m_numNonzeros; ++k) used[m_colI[k]] = 1;
  for (int c = 0; c < m_numCols; ++c)
    if (used[c]) out[n++] = static_cast<unsigned>(c);
  return out;
}

// ================================================================================================================
// Printing
// ================================================================================================================

void QORMtxSparseMatrix::PrintArrays(const char* title, FILE* stream) const {
  FILE* out = stream ? stream : stdout;
  // The title is written as text: a '%' in it is printed, never taken as a conversion.
  if (title) std::fputs(title, out);
  std::fprintf(out, ": rows %i, columns %i, nonzeros %i", m_numRows, m_numCols, m_numNonzeros);
  if (m_diagonal) std::fputs(", symmetric storage", out);
  std::fputs("\n", out);
  std::fputs("  rowP:", out);
  if (m_rowP)
    for (int r = 0; r <= m_numRows; ++r) std::fprintf(out, " %2u", m_rowP[r]);
  else
    std::fputs(" null", out);
  std::fputs("\n  colI:", out);
  if (m_colI)
    for (int k = 0; k < m_numNonzeros; ++k) std::fprintf(out, " %2i", m_colI[k]);
  else
    std::fputs(" null", out);
  std::fputs("\n  data:", out);
  if (m_data)
    for (int k = 0; k < m_numNonzeros; ++k) std::fprintf(out, " %2g", m_data[k]);
  else
    std::fputs(" null", out);
  std::fputs("\n", out);
  if (m_diagonal) {
    std::fputs("  diag:", out);
    for (int r = 0; r < m_numRows; ++r) std::fprintf(out, " %2g", m_diagonal[r]);
    std::fputs("\n", out);
  }
}

void QORMtxSparseMatrix::Print(const char* title, const char* fileName, int precision, double tol) const {
  std::unique_ptr<aio_ofstream> file;
  if (fileName) {
    file = std::make_unique<aio_ofstream>(fileName, "w");
    if (!file->is_open()) file.reset();
  }
  aio_ostream& out = file ? static_cast<aio_ostream&>(*file) : aio_cout;
  {
    QORMtxDocument doc(cow_String(""), QORMtxReportEnum::TEXT, out);
    if (title && *title) {
      doc << cow_String("----- ") << cow_String(title) << cow_String(" -----");
      doc.Endl();
    }
    doc << cow_String("Number of rows   : " + std::to_string(m_numRows));
    doc.Endl();
    doc << cow_String("Number of columns: " + std::to_string(m_numCols));
    doc.Endl();
    doc << cow_String("Number of entries: " + std::to_string(NumberOfEntries()));
    doc.Endl();
    QORMtxTable table(doc);
    table.Format(7).Format(7).Format(precision + 7);
    table.Precision(precision).Zero(static_cast<float>(tol));
    table.Out(cow_String("Row")).Out(cow_String("Column")).Out(cow_String("Value")).Endl();
    for (QORMtxSparseMatrixIterator it(*this); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      table.Out(static_cast<int>(e.m_row)).Out(static_cast<int>(e.m_col)).Out(e.m_value).Endl();
    }
  }
  out.flush();
}

void QORMtxSparseMatrix::PrintTable(const char* title, FILE* stream, int width, int precision, double zeroTol) const {
  QORMtxMatrix dense;
  QORMtxUtilities::Sparse2Core(*this, dense);
  dense.Print2File(stream, width, precision, zeroTol, title);
}

// ================================================================================================================
// Ordinals and domain
// ================================================================================================================

void QORMtxSparseMatrix::SetDomain(const QORSimCSetID& rowSetID, const QORSimCSetID& colSetID) {
  m_rowSetID = rowSetID;
  m_colSetID = colSetID;
  // The ordinal lists also cache the sets' ordinals: a new domain makes them stale.
  m_rowOrdinals.Clear();
  m_colOrdinals.Clear();
}

void QORMtxSparseMatrix::SetOrdinals(const int* rowOrdinals, const int* colOrdinals) {
  QORMTX_ASSERT(m_rowSetID.IsNull() && m_colSetID.IsNull());
  SetRowOrdinals(rowOrdinals);
  SetColOrdinals(colOrdinals);
}

void QORMtxSparseMatrix::SetRowOrdinals(const int* rowOrdinals) {
  QORMTX_ASSERT(m_rowSetID.IsNull());
  if (rowOrdinals)
    m_rowOrdinals = QORBasVector<int>(rowOrdinals, rowOrdinals + m_numRows);
  else
    m_rowOrdinals.Clear();
}

void QORMtxSparseMatrix::SetColOrdinals(const int* colOrdinals) {
  QORMTX_ASSERT(m_colSetID.IsNull());
  if (colOrdinals)
    m_colOrdinals = QORBasVector<int>(colOrdinals, colOrdinals + m_numCols);
  else
    m_colOrdinals.Clear();
}

const int* QORMtxSparseMatrix::FetchOrdinals(const QORSimCSetID& setID, QORBasVector<int>& ordinals) const {
  if (ordinals.size() > 0) return ordinals.data();
  if (setID.IsNull()) return nullptr;
  QORMtxUtilities::GetOrdinals(setID, ordinals);
  return ordinals.size() > 0 ? ordinals.data() : nullptr;
}

const int* QORMtxSparseMatrix::GetRowOrdinals() const { return FetchOrdinals(m_rowSetID, m_rowOrdinals); }

const int* QORMtxSparseMatrix::GetColOrdinals() const { return FetchOrdinals(m_colSetID, m_colOrdinals); }
