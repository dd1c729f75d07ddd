// QORMtxMatrixBsr: the block sparse row template and its four instantiations.
#include "QORMtxMatrixBsr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "mem_Alloc.h"

namespace {
template <class T>
T* NewZeroedBlock(int blockSize) {
  T* block = static_cast<T*>(mem_OperatorNewThrowBuiltin(static_cast<size_t>(blockSize) * sizeof(T)));
  std::fill(block, block + blockSize, T(0));
  return block;
}

template <class T, class Alloc>
T* NewZeroed(Alloc& alloc, long long n) {
  T* a = alloc.template AllocateArray<T>(static_cast<size_t>(n > 0 ? n : 1));
  std::fill(a, a + (n > 0 ? n : 0), T(0));
  return a;
}

template <class T>
T* CopyArray(const T* src, long long n) {
  if (!src) return nullptr;
  T* a = static_cast<T*>(mem_OperatorNewThrowBuiltin(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
  if (n > 0) std::memcpy(a, src, static_cast<size_t>(n) * sizeof(T));
  return a;
}

template <class T>
void PrintItems(aio_ostream& os, const char* label, const T* items, int n) {
  os << label;
  if (items)
    for (int k = 0; k < n; ++k) {
      os.width(3);
      os << items[k];
    }
  os << "\n";
}
}  // namespace

// ---- BlockRow ----

template <class T, class Alloc>
template <class U>
QORMtxMatrixBsr<T, Alloc>::BlockRow<U>::~BlockRow() {
  for (omi_IntTableIterator<U*> b(m_blocks); !b.IsDone(); b.Next()) mem_Free(b.CurrentValue());
}

template <class T, class Alloc>
template <class U>
typename QORMtxMatrixBsr<T, Alloc>::template BlockRow<U>* QORMtxMatrixBsr<T, Alloc>::BlockRow<U>::Copy() const {
  auto* copy = new BlockRow<U>(m_blockDim);
  copy->m_rowIndex = m_rowIndex;
  for (omi_IntTableIterator<U*> b(m_blocks); !b.IsDone(); b.Next())
    copy->Add(b.CurrentKey(), CopyArray(b.CurrentValue(), static_cast<long long>(m_blockDim) * m_blockDim));
  return copy;
}

// ---- Lifetime ----

template <class T, class Alloc>
QORMtxMatrixBsr<T, Alloc>::QORMtxMatrixBsr(int blockDim, int rows, int cols, int indexing)
    : m_blockSize(blockDim * blockDim), m_blockDim(blockDim), m_indexing(indexing), m_rows(rows), m_cols(cols) {}

template <class T, class Alloc>
QORMtxMatrixBsr<T, Alloc>::QORMtxMatrixBsr(const QORMtxMatrixBsr& rhs) {
  CopyFrom(rhs);
}

template <class T, class Alloc>
QORMtxMatrixBsr<T, Alloc>& QORMtxMatrixBsr<T, Alloc>::operator=(const QORMtxMatrixBsr& rhs) {
  aio_cout << "ASSIGNMENT\n";
  QORMtxMatrixBsr temp(rhs);
  Swap(temp);
  return *this;
}

template <class T, class Alloc>
QORMtxMatrixBsr<T, Alloc>::~QORMtxMatrixBsr() {
  Release();
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Release() {
  for (omi_IntTableIterator<Row*> r(m_blockRows); !r.IsDone(); r.Next()) delete r.CurrentValue();
  m_blockRows.Clear();
  mem_Free(m_values);
  mem_Free(m_columns);
  mem_Free(m_pointerB);
  mem_Free(m_pointerE);
  mem_Free(m_rowIndex);
  m_values = nullptr;
  m_columns = m_pointerB = m_pointerE = m_rowIndex = nullptr;
  m_allocator.Deallocate(m_packedRows);
  m_packedRows = nullptr;
  mem_Free(m_mirror);
  m_mirror = nullptr;
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::CopyFrom(const QORMtxMatrixBsr& rhs) {
  m_numBlocks = rhs.m_numBlocks;
  m_numEntries = rhs.m_numEntries;
  m_numBlockRows = rhs.m_numBlockRows;
  // The MKL convention: values per block, one column per block, block rows + 1 row starts.
  m_values = CopyArray(rhs.m_values, static_cast<long long>(rhs.m_numEntries));
  m_columns = CopyArray(rhs.m_columns, rhs.m_numBlocks);
  m_pointerB = CopyArray(rhs.m_pointerB, rhs.m_numBlockRows);
  m_pointerE = CopyArray(rhs.m_pointerE, rhs.m_numBlockRows);
  m_rowIndex = CopyArray(rhs.m_rowIndex, rhs.m_numBlockRows + 1);
  m_blockSize = rhs.m_blockSize;
  m_blockDim = rhs.m_blockDim;
  m_indexing = rhs.m_indexing;
  m_rows = rhs.m_rows;
  m_cols = rhs.m_cols;
  for (omi_IntTableIterator<Row*> r(rhs.m_blockRows); !r.IsDone(); r.Next())
    m_blockRows.Insert(r.CurrentKey(), r.CurrentValue()->Copy());
  m_rowToBlockRow = rhs.m_rowToBlockRow;
  m_columnList = rhs.m_columnList;
  m_hugeRows = rhs.m_hugeRows;
  m_numPackedRows = rhs.m_numPackedRows;
  if (rhs.m_packedRows) {
    const long long n = static_cast<long long>(rhs.m_numPackedRows) * rhs.m_cols;
    m_packedRows = NewZeroed<T>(m_allocator, n);
    std::copy(rhs.m_packedRows, rhs.m_packedRows + n, m_packedRows);
  }
  m_mirrorRows = rhs.m_mirrorRows;
  m_mirrorCols = rhs.m_mirrorCols;
  m_mirrorBytes = rhs.m_mirrorBytes;
  m_mirror = CopyArray(rhs.m_mirror, static_cast<long long>(rhs.m_mirrorRows) * rhs.m_mirrorCols);
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Swap(QORMtxMatrixBsr& rhs) {
  aio_cout << "SWAPPING...\n";
  std::swap(m_values, rhs.m_values);
  std::swap(m_columns, rhs.m_columns);
  std::swap(m_pointerB, rhs.m_pointerB);
  std::swap(m_pointerE, rhs.m_pointerE);
  std::swap(m_rowIndex, rhs.m_rowIndex);
  std::swap(m_numBlocks, rhs.m_numBlocks);
  std::swap(m_numEntries, rhs.m_numEntries);
  std::swap(m_packedRows, rhs.m_packedRows);
  std::swap(m_numPackedRows, rhs.m_numPackedRows);
  std::swap(m_numBlockRows, rhs.m_numBlockRows);
  std::swap(m_blockSize, rhs.m_blockSize);
  std::swap(m_blockDim, rhs.m_blockDim);
  std::swap(m_indexing, rhs.m_indexing);
  std::swap(m_allocator, rhs.m_allocator);
  std::swap(m_blockRows, rhs.m_blockRows);
  std::swap(m_rows, rhs.m_rows);
  std::swap(m_cols, rhs.m_cols);
  m_rowToBlockRow.Swap(rhs.m_rowToBlockRow);
  m_columnList.Swap(rhs.m_columnList);
  m_hugeRows.swap(rhs.m_hugeRows);
  std::swap(m_mirror, rhs.m_mirror);
  std::swap(m_mirrorRows, rhs.m_mirrorRows);
  std::swap(m_mirrorCols, rhs.m_mirrorCols);
  std::swap(m_mirrorBytes, rhs.m_mirrorBytes);
}

// ---- Assembly ----

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::AddValue(int row, int col, T value) {
  if (m_mirror && row < m_mirrorRows && col < m_mirrorCols)
    m_mirror[static_cast<long long>(row) * m_mirrorCols + col] = value;
  if constexpr (std::is_same<T, double>::value && std::is_same<Alloc, QORBasAllocator>::value)
    if (value == 1e36) m_hugeRows.push_back(row);
  m_rows = std::max(m_rows, row + 1);
  m_cols = std::max(m_cols, col + 1);
  const int d = m_blockDim;
  const int br = row / d;
  Row* blockRow = nullptr;
  if (Row* const* found = m_blockRows.Find(br)) {
    blockRow = *found;
  } else {
    blockRow = new Row(d);
    blockRow->m_rowIndex = br;
    m_blockRows.Insert(br, blockRow);
    ++m_numBlockRows;
    for (int r = d * br; r < d * (br + 1); ++r) m_rowToBlockRow.Insert(r, br);
  }
  const int bc = col / d;
  T* block = blockRow->Get(bc);
  if (!block) {
    block = NewZeroedBlock<T>(m_blockSize);
    blockRow->Add(bc, block);
    m_columnList.Insert(col, col);
  }
  block[IndexWithinBlock(row, col)] += value;
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::AddValues(int n, const unsigned*, const unsigned* dofs, const T* values) {
  int k = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i, ++k) {
      const int a = static_cast<int>(dofs[i]);
      const int b = static_cast<int>(dofs[j]);
      AddValue(std::max(a, b), std::min(a, b), values[k]);
    }
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::AddValues(int n, const unsigned* both, const T* values) {
  AddValues(n, both, both + n, values);
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Reserve(int rows, int cols) {
  mem_Free(m_mirror);
  const long long n = static_cast<long long>(rows) * cols;
  m_mirror = static_cast<T*>(mem_OperatorNewThrowBuiltin(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
  std::fill(m_mirror, m_mirror + n, T(0));
  m_mirrorRows = rows;
  m_mirrorCols = cols;
  m_mirrorBytes = n * static_cast<long long>(sizeof(T));
}

// ---- Dense forms ----

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::Find(int row, int col) const {
  Row* const* blockRow = m_blockRows.Find(row / m_blockDim);
  T* block = blockRow ? (*blockRow)->Get(col / m_blockDim) : nullptr;
  return block ? block + IndexWithinBlock(row, col) : END;
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::FillRow(int r, T* out) const {
  std::fill(out, out + m_cols, T(0));
  Row* const* blockRow = m_blockRows.Find(r / m_blockDim);
  if (!blockRow) return;
  const int d = m_blockDim;
  const int inRow = (r % d) * d;
  for (omi_IntTableIterator<T*> b((*blockRow)->Blocks()); !b.IsDone(); b.Next())
    for (int k = 0; k < d; ++k) {
      const long long c = static_cast<long long>(b.CurrentKey()) * d + k;
      if (c >= 0 && c < m_cols) out[c] = b.CurrentValue()[inRow + k];
    }
}

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::DenseMatrix() {
  T* a = NewZeroed<T>(m_allocator, static_cast<long long>(m_rows) * m_cols);
  for (int r = 0; r < m_rows; ++r)
    if (RowToBlockRow(r) >= 0) FillRow(r, a + static_cast<long long>(r) * m_cols);
  return a;
}

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::DiagonalVector() {
  const int n = std::min(m_rows, m_cols);
  T* v = NewZeroed<T>(m_allocator, n);
  for (int i = 0; i < n; ++i) {
    const T* p = Find(i, i);
    if (p != END) v[i] = *p;
  }
  return v;
}

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::DiagonalMatrix() {
  const int n = std::min(m_rows, m_cols);
  T* a = NewZeroed<T>(m_allocator, static_cast<long long>(n) * n);
  for (int i = 0; i < n; ++i) {
    const T* p = Find(i, i);
    if (p != END) a[static_cast<long long>(i) * n + i] = *p;
  }
  return a;
}

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::Full(T* a, int n, int m, Alloc* alloc) {
  const long long size = static_cast<long long>(n) * m;
  T* full = alloc->template AllocateArray<T>(static_cast<size_t>(size > 0 ? size : 1));
  std::copy(a, a + size, full);
  for (int j = 1; j < m; ++j)
    for (int i = 0; i < j && i < n && j < n; ++i) full[static_cast<long long>(i) * n + j] = a[static_cast<long long>(j) * n + i];
  return full;
}

template <class T, class Alloc>
T* QORMtxMatrixBsr<T, Alloc>::PackSelectRows(int n, const int* rows) {
  m_allocator.Deallocate(m_packedRows);
  m_packedRows = NewZeroed<T>(m_allocator, static_cast<long long>(n) * m_cols);
  m_numPackedRows = n;
  for (int k = 0; k < n; ++k) {
    T* out = m_packedRows + static_cast<long long>(k) * m_cols;
    if (m_mirror) {
      if (rows[k] >= 0 && rows[k] < m_mirrorRows)
        std::copy(m_mirror + static_cast<long long>(rows[k]) * m_mirrorCols,
                  m_mirror + static_cast<long long>(rows[k]) * m_mirrorCols + std::min(m_cols, m_mirrorCols), out);
    } else {
      FillRow(rows[k], out);
    }
  }
  return m_packedRows;
}

template <class T, class Alloc>
bool QORMtxMatrixBsr<T, Alloc>::Equal(const QORMtxMatrixBsr& rhs) const {
  if (m_blockDim != rhs.m_blockDim || m_blockRows.Size() != rhs.m_blockRows.Size()) return false;
  for (omi_IntTableIterator<Row*> r(m_blockRows); !r.IsDone(); r.Next()) {
    Row* const* other = rhs.m_blockRows.Find(r.CurrentKey());
    if (!other || (*other)->Blocks().Size() != r.CurrentValue()->Blocks().Size()) return false;
    for (omi_IntTableIterator<T*> b(r.CurrentValue()->Blocks()); !b.IsDone(); b.Next()) {
      const T* mine = b.CurrentValue();
      const T* theirs = (*other)->Get(b.CurrentKey());
      if (!theirs || !std::equal(mine, mine + m_blockSize, theirs)) return false;
    }
  }
  return true;
}

// ---- Text ----

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Export(aio_ofstream& stream, int) const {
  stream.precision(16);
  stream.setf(aio_ostream::scientific);
  const int d = m_blockDim;
  for (omi_IntTableIterator<Row*> r(m_blockRows); !r.IsDone(); r.Next())
    for (omi_IntTableIterator<T*> b(r.CurrentValue()->Blocks()); !b.IsDone(); b.Next())
      for (int k = 0; k < m_blockSize; ++k) {
        stream.width(6);
        stream << d * r.CurrentKey() + k / d + 1 << " ";
        stream.width(6);
        stream << d * b.CurrentKey() + k % d + 1 << " ";
        stream.width(26);
        stream << b.CurrentValue()[k] << "\n";
      }
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Export(const char* path, int flag) const {
  aio_cout << "Exporting BSR matrix to " << path << "\n";
  aio_cout.flush();
  aio_ofstream file(path);
  if (!file.is_open()) {
    std::remove(path);
    aio_ofstream retry(path);
    if (!retry.is_open()) {
      aio_cerr << "*** Error: Could not create " << path << "\n";
      return;
    }
    Export(retry, flag);
    retry.close();
    return;
  }
  Export(file, flag);
  file.close();
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::PrintStorage(aio_ostream& stream) const {
  for (int r = 0; r < m_mirrorRows; ++r) {
    for (int c = 0; c < m_mirrorRows; ++c) {
      const T v = c < m_mirrorCols ? m_mirror[static_cast<long long>(r) * m_mirrorCols + c] : T(0);
      stream.width(3);
      if (v == T(0))
        stream << ".";
      else
        stream << v;
      stream << " ";
    }
    stream << "\n";
  }
}

template <class T, class Alloc>
void QORMtxMatrixBsr<T, Alloc>::Dump(const char*) const {
  aio_cout << "Dumping of BSR matrix is not implemented yet " << "\n";
}

template <class U, class A>
aio_ostream& operator<<(aio_ostream& os, const QORMtxMatrixBsr<U, A>& m) {
  os << "\n";
  os << "  blockdim: " << m.m_blockDim << "\n";
  os << "  indexing: " << m.m_indexing << "\n";
  PrintItems(os, "    values: ", m.m_values, m.m_numEntries);
  PrintItems(os, "   columns: ", m.m_columns, m.m_numBlocks);
  PrintItems(os, "  rowIndex: ", m.m_rowIndex, m.m_numBlockRows + 1);
  PrintItems(os, "  pointerB: ", m.m_pointerB, m.m_numBlockRows);
  PrintItems(os, "  pointerE: ", m.m_pointerE, m.m_numBlockRows);
  return os;
}

#define QORMTX_BSR_INSTANTIATE(T, A)                                          \
  template class QORMtxMatrixBsr<T, A>;                                       \
  template aio_ostream& operator<< <T, A>(aio_ostream&, const QORMtxMatrixBsr<T, A>&);
QORMTX_BSR_INSTANTIATE(int, QORBasAllocator)
QORMTX_BSR_INSTANTIATE(int, QORBasMemAllocator)
QORMTX_BSR_INSTANTIATE(double, QORBasAllocator)
QORMTX_BSR_INSTANTIATE(double, QORBasMemAllocator)
