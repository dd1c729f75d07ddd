// QORMtxSparseMatrix: products with vectors, stored dense matrices and diagonals (split from QORMtxSparseMatrix.cpp).
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "QORMtxAssert.h"
#include "QORMtxBands.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxFindContiguousRanges.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "mem_Alloc.h"
#include "omi_IntTable.h"

using namespace qormtx_sparse;
using qormtx_bands::Axis;
using qormtx_bands::Band;
using qormtx_bands::Context;
using qormtx_bands::Geometry;

namespace {

size_t Count(int rows, int cols) { return static_cast<size_t>(rows > 0 ? rows : 0) * (cols > 0 ? cols : 0); }

// Columns of v multiplied together: the kernels' panel width.
constexpr int kPanelColumns = 8;

// Beyond this many runs of listed rows, one read of the whole span of a column block costs less than a data-store
// request per run.
constexpr int kMaxRunReads = 1000;

// y += S·x for the symmetric S of the stored rows (strict triangle in rowP/colI/data, diagonal apart), numVectors
// columns of leading dimension n. xr holds row r of x and acc the row's gathered sum. The pointers are declared
// unaliased: otherwise every update of y would force acc and xr back to memory, which costs more than the product.
void SymmetricRows(const unsigned* rowP, const int* colI, const double* data, const double* diagonal, int numRows,
                   const double* __restrict__ x, double* __restrict__ y, size_t n, size_t nv, double* __restrict__ xr,
                   double* __restrict__ acc) {
  if (nv == 1) {  // the common single vector: xr and acc live in registers
    for (int r = 0; r < numRows; ++r) {
      const double xv = x[r];
      double sum = 0.0;
      for (unsigned p = rowP[r]; p < rowP[r + 1]; ++p) {
        sum += data[p] * x[colI[p]];
        y[colI[p]] += data[p] * xv;
      }
      y[r] += diagonal[r] * xv + sum;
    }
    return;
  }
  for (int r = 0; r < numRows; ++r) {
    for (size_t j = 0; j < nv; ++j) {
      xr[j] = x[j * n + r];
      acc[j] = 0.0;
    }
    for (unsigned p = rowP[r]; p < rowP[r + 1]; ++p) {
      const size_t c = static_cast<size_t>(colI[p]);
      const double a = data[p];
      for (size_t j = 0; j < nv; ++j) {
        acc[j] += a * x[j * n + c];
        y[j * n + c] += a * xr[j];
      }
    }
    for (size_t j = 0; j < nv; ++j) y[j * n + r] += diagonal[r] * xr[j] + acc[j];
  }
}

}  // namespace

void QORMtxSparseMatrix::Multiply(const double* x, int numVectors, double* y, bool transpose) const {
  QORMTX_ASSERT(m_assemblyComplete);
  if (!m_diagonal) {
    if (transpose)
      blac_sparse_umtv(m_data, x, m_rowP, m_colI, y, &m_numRows, &m_numCols, &numVectors);
    else
      blac_sparse_umv(m_data, x, m_rowP, m_colI, y, &m_numRows, &m_numCols, &numVectors);
    return;
  }
  // Symmetric storage: each stored entry serves once as (r, c) and once as its mirror (c, r), so the lower triangle
  // is read a single time. Nothing here assumes c < r: a permuted matrix keeps its entries on either side.
  if (numVectors <= 0) return;
  const size_t n = static_cast<size_t>(m_numRows);
  const size_t nv = static_cast<size_t>(numVectors);
  std::fill(y, y + n * nv, 0.0);
  Owned<double> scratch(NewDouble(2 * nv));
  SymmetricRows(m_rowP, m_colI, m_data, m_diagonal, m_numCols, x, y, n, nv, scratch.get(), scratch.get() + nv);
}

void QORMtxSparseMatrix::MultiplyIndexed(const double* x, int numVectors, double* y, bool transpose, int numIdx,
                                         const unsigned* idx) const {
  QORMTX_ASSERT(m_assemblyComplete);
  QORMTX_ASSERT(transpose && "QORMtxSparseMatrix::MultiplyIndexed: non-transposed not supported");
  blac_sparse_sparse_umtv(m_data, x, m_rowP, m_colI, y, &numIdx, &m_numCols, &numVectors, idx);
}

void QORMtxSparseMatrix::MultiplyDense(const QORMtxDenseMatrix& v, QORMtxDenseMatrix& u, bool transpose) const {
  QORMTX_ASSERT(m_assemblyComplete);
  const int numColsT = transpose ? m_numRows : m_numCols;  // inner dimension: rows of v that are read
  const int outer = transpose ? m_numCols : m_numRows;
  const int numRows = v.NumberOfRows();
  QORMTX_ASSERT(numRows >= numColsT);

  const int excess = u.NumberOfRows() - outer;
  // Panels of kPanelColumns columns whatever the chunk width: the rows the product touches at once stay in cache
  // and the buffers stay small; a wide chunk would otherwise pass through memory whole. Each panel: its inner rows
  // in, the product's rows of u out, u's rows beyond them cleared.
  const Geometry panels = Geometry::Ranges(v.NumberOfColumns(), kPanelColumns);
  Owned<double> zeros(NewZeroDouble(Count(excess, panels.MaxCount())));
  qormtx_bands::Loop loop(Axis::Columns, panels);
  loop.Source(v, 0, numColsT).Target(u, 0, outer);
  loop.Run([&](Band& b, Context& ctx) {
    Multiply(b.in, b.along.count, b.out, transpose);
    ctx.Write(u, outer, outer + excess - 1, b.along.first, b.along.Last(), zeros.get());
  });
}

void QORMtxSparseMatrix::MultiplyDense(const QORMtxDenseMatrix& v, double* u, bool transpose) const {
  QORMTX_ASSERT(m_assemblyComplete);
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::MultiplyDense: symmetric not supported");
  // Only the rows of v that meet a stored entry take part; their list, ascending, is read in runs.
  int numIdx = 0;
  const Owned<unsigned> idx(transpose ? FindNontrivialRows(numIdx) : FindNontrivialColumns(numIdx));
  int numRuns = 0;
  // Every listed index is below INT_MAX, so the unsigned list reads as the same ints.
  const Owned<int> runs(
      QORMtxFindContiguousRanges(reinterpret_cast<const int*>(idx.get()), numIdx, INT_MAX, numRuns));
  const bool wholeSpan = numRuns >= kMaxRunReads;
  const int firstRow = numIdx > 0 ? static_cast<int>(idx.get()[0]) : 0;
  const int span = numIdx > 0 ? static_cast<int>(idx.get()[numIdx - 1]) - firstRow + 1 : 0;
  int longestRun = 0;
  for (int k = 0; k < numRuns; ++k) longestRun = std::max(longestRun, runs.get()[k + 1] - runs.get()[k]);

  const int maxWidth = v.MaxNumberOfColumnsInBlock();
  const size_t ld = static_cast<size_t>(numIdx);
  Owned<double> gathered(NewDouble(Count(numIdx, maxWidth)));
  // One run (the usual case of a matrix without empty rows) is read straight into the gathered block.
  Owned<double> staging(NewDouble(numRuns <= 1 ? 0 : Count(wholeSpan ? span : longestRun, maxWidth)));
  const int outer = transpose ? m_numCols : m_numRows;
  qormtx_bands::Loop loop(Axis::Columns, Geometry::Blocks(v, Axis::Columns, 1));
  loop.Run([&](Band& b, Context& ctx) {
    const int width = b.along.count, first = b.along.first, last = b.along.Last();
    if (numRuns == 1) {
      ctx.Read(v, firstRow, firstRow + span - 1, first, last, gathered.get());
    } else if (wholeSpan) {
      ctx.Read(v, firstRow, firstRow + span - 1, first, last, staging.get());
      for (int j = 0; j < width; ++j) {
        const double* src = staging.get() + static_cast<size_t>(j) * span;
        double* dst = gathered.get() + j * ld;
        for (size_t i = 0; i < ld; ++i) dst[i] = src[idx.get()[i] - firstRow];
      }
    } else {
      for (int k = 0; k < numRuns; ++k) {
        const int p0 = runs.get()[k];
        const int len = runs.get()[k + 1] - p0;
        const int row0 = static_cast<int>(idx.get()[p0]);
        ctx.Read(v, row0, row0 + len - 1, first, last, staging.get());
        for (int j = 0; j < width; ++j)
          std::copy_n(staging.get() + static_cast<size_t>(j) * len, len, gathered.get() + j * ld + p0);
      }
    }
    // The output block of this column block is exactly its place in u, so the product lands there directly.
    MultiplyIndexed(gathered.get(), width, u + static_cast<size_t>(first) * outer, transpose, numIdx, idx.get());
  });
}

void QORMtxSparseMatrix::MultiplyDenseMapped(const QORMtxDenseMatrix& v, QORMtxDenseMatrix& u, bool transpose) const {
  QORMTX_ASSERT(m_assemblyComplete);
  omi_IntTable<int> map;  // inner index of this matrix -> row of v with the same ordinal
  QORMtxUtilities::MapCSets(transpose ? m_rowSetID : m_colSetID, v.RowCSetID(), map);
  const int numRowsT = transpose ? m_numCols : m_numRows;
  const int numColsT = transpose ? m_numRows : m_numCols;
  const int numColsU = u.NumberOfColumns();
  const int numMapped = map.Size();
  QORMTX_ASSERT(numRowsT == v.NumberOfRows());
  QORMTX_ASSERT(numColsU == v.NumberOfColumns());
  if (numMapped == 0) return;  // nothing pairs: u is left as it is
  // The condition is reported as written.
  // clang-format off
  QORMTX_ASSERT(numMapped==numColsT);
  // clang-format on

  // Every inner index is mapped, so the keys are 0 .. numColsT-1 and key order is the order of x's rows.
  Owned<int> rows(NewInt(static_cast<size_t>(numMapped)));
  int k = 0;
  for (omi_IntTableIterator<int> it(map); !it.IsDone(); it.Next()) rows.get()[k++] = it.CurrentValue();

  // Whole column blocks in groups, so that one group of the mapped rows is about one block of v in size.
  const int numCols = v.NumberOfColumns();
  const int maxWidth = std::max(1, v.MaxNumberOfColumnsInBlock());
  const int64_t fit = static_cast<int64_t>(maxWidth) * v.NumberOfRows() / numMapped;
  const int blocksPerGroup = std::max(1, static_cast<int>(std::min<int64_t>(fit, numCols)) / maxWidth);
  const int groupWidth = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(blocksPerGroup) * maxWidth, numCols));
  Owned<double> input(NewDouble(Count(numMapped, groupWidth)));
  Owned<int> cols(NewInt(static_cast<size_t>(groupWidth)));
  qormtx_bands::Loop loop(Axis::Columns, Geometry::Blocks(v, Axis::Columns, blocksPerGroup));
  loop.Target(u, 0, numRowsT);
  loop.Run([&](Band& b, Context& ctx) {
    const int width = b.along.count;
    for (int j = 0; j < width; ++j) cols.get()[j] = b.along.first + j;
    QORMtxMatrix in(numMapped, width, input.get());  // a view: the scratch stays ours
    ctx.Access([&] { v.GetValues(rows.get(), numMapped, cols.get(), width, in); });
    Multiply(input.get(), width, b.out, transpose);
  });
}

void QORMtxSparseMatrix::MultiplyByDiagonal(bool left, const QORMtxMatrix& D, QORMtxSparseMatrix& A) const {
  QORMTX_ASSERT(D.Type() == QORMtxMatrix::DIAG);
  if (left)
    QORMTX_ASSERT(NumberOfRows() == D.NumberOfRows());
  else
    QORMTX_ASSERT(NumberOfColumns() == D.NumberOfRows());
  QORMTX_ASSERT(A.IsNull());
  const double* d = D.Values();
  A.BeginAssembly(true);
  A.ReserveEntries(NumberOfEntries());
  for (QORMtxSparseMatrixIterator it(*this); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    A.AddData(e.m_row, e.m_col, e.m_value * d[left ? e.m_row : e.m_col], true);
  }
  // In symmetric storage the scaled lower triangle and diagonal become A's own symmetric storage.
  A.EndAssembly(m_diagonal != nullptr);
}
