// QORMtxMatrixBsr: block sparse row matrix with square blocks, assembled by scalars or packed element matrices.
#pragma once
#include <vector>

#include "QORBasAllocator.h"
#include "QORBasMemAllocator.h"
#include "QORBasVector.h"
#include "QORMtxArray.h"
#include "aio_ostream.h"
#include "omi_IntTable.h"

/// \brief Block sparse row matrix: a table of block rows, each a table of d × d blocks (row-major inside the
/// block). Scalar (r, c) lies in block (r div d, c div d) at IndexWithinBlock(r, c) = (c mod d) + (r mod d)·d.
///
/// Instantiated for int and double with QORBasAllocator and QORBasMemAllocator. The dense forms (DenseMatrix,
/// DiagonalVector, DiagonalMatrix, Full) are new row-major arrays from the matrix's allocator, released by the
/// caller through that allocator's Deallocate (or mem_Free). The dense shape is the larger of the shape given at
/// construction and the extent of the values added. Block rows and blocks are visited in ascending key order.
///
/// The MKL-style arrays (values, columns, pointerB, pointerE, rowIndex) are printed and copied; no operation of
/// this class fills them, so they print as empty lines unless a caller set them.
template <class T, class Alloc>
class QORMtxMatrixBsr {
 public:
  /// \brief One block row: block column → block of d·d values (row-major, zeroed at creation).
  template <class U>
  class BlockRow {
   public:
    explicit BlockRow(int blockDim) : m_blockDim(blockDim) {}
    ~BlockRow();
    BlockRow(const BlockRow&) = delete;
    BlockRow& operator=(const BlockRow&) = delete;
    /// \brief Takes over block (d·d values from mem_OperatorNewThrowBuiltin) as block column blockCol.
    void Add(int blockCol, void* block) { m_blocks.Insert(blockCol, static_cast<U*>(block)); }
    U* Get(int blockCol) const {
      U* const* p = m_blocks.Find(blockCol);
      return p ? *p : nullptr;
    }
    bool Has(int blockCol) const { return m_blocks.IsMember(blockCol); }
    BlockRow* Copy() const;
    const omi_IntTable<U*>& Blocks() const { return m_blocks; }
    int m_rowIndex = -1;  ///< cached row index, -1 until set

   private:
    int m_blockDim;
    omi_IntTable<U*> m_blocks;
  };
  using Row = BlockRow<T>;

  /// \brief The address a lookup returns for an absent value (not null, so it cannot pass for a fresh pointer).
  inline static T* const END = reinterpret_cast<T*>(0xDEAD);

  /// \brief Empty matrix of block dimension blockDim (≥ 1) and dense shape rows × cols; indexing (0 or 1) is the
  /// base of the MKL-style indices.
  explicit QORMtxMatrixBsr(int blockDim = 1, int rows = 0, int cols = 0, int indexing = 0);
  QORMtxMatrixBsr(const QORMtxMatrixBsr& rhs);
  /// \brief Prints "ASSIGNMENT", copies rhs into a temporary and swaps with it (which prints "SWAPPING...").
  QORMtxMatrixBsr& operator=(const QORMtxMatrixBsr& rhs);
  ~QORMtxMatrixBsr();
  /// \brief Prints "SWAPPING..." and exchanges the two matrices' contents.
  void Swap(QORMtxMatrixBsr& rhs);

  /// \brief Adds value at (row, col); a dense mirror (Reserve) is assigned the value, not added to.
  /// \warning For double with QORBasAllocator a value of exactly 1e36 (the solvers' "infinite" stiffness) also
  /// records its row in HugeValueRows().
  void AddValue(int row, int col, T value);
  /// \brief Adds the packed upper triangle (by columns) of a symmetric n × n element matrix on dofs: value (i, j)
  /// goes to (max(dofs[i], dofs[j]), min(dofs[i], dofs[j])), so the matrix holds the global lower triangle.
  /// a is not read.
  void AddValues(int n, const unsigned* a, const unsigned* dofs, const T* values);
  /// \brief The same with the degrees of freedom in both[n … 2n − 1].
  void AddValues(int n, const unsigned* both, const T* values);
  /// \brief Creates a zeroed dense mirror rows × cols (replacing an older one).
  void Reserve(int rows, int cols);

  /// \brief New zeroed rows × RowLen array (row-major) holding the whole matrix.
  T* DenseMatrix();
  /// \brief New array of the min(rows, cols) diagonal values.
  T* DiagonalVector();
  /// \brief New zeroed square array of that order with the diagonal filled.
  T* DiagonalMatrix();
  /// \brief New n × m copy of the column-major a (element (i, j) at j·n + i) with its upper triangle mirrored
  /// into the lower; from alloc.
  static T* Full(T* a, int n, int m, Alloc* alloc);
  /// \brief Row-major n × RowLen array of the listed rows (a row without values gives zeros), owned by the matrix
  /// and released at the next call.
  T* PackSelectRows(int n, const int* rows);
  /// \brief Same block layout and equal values.
  bool Equal(const QORMtxMatrixBsr& rhs) const;
  /// \brief Value at (row, col), or END when its block does not exist.
  T* Find(int row, int col) const;

  /// \brief One line per stored value, block by block: 1-based row (width 6), 1-based column (width 6), value
  /// (width 26, scientific, 16 digits). The integer changes nothing.
  void Export(aio_ofstream& stream, int) const;
  /// \brief The same into a new file; a file that cannot be created is reported on the error stream.
  void Export(const char* path, int) const;
  /// \brief The dense mirror as a square of its row count, a zero as ".".
  void PrintStorage(aio_ostream& stream) const;
  void Dump(const char*) const;

  int BlockDim() const { return m_blockDim; }
  int Indexing() const { return m_indexing; }
  int NumBlockRows() const { return m_numBlockRows; }
  int NumBlocks() const { return m_numBlocks; }
  int NumEntries() const { return m_numEntries; }
  int NumRows() const { return m_rows; }
  int RowLen(int) const { return m_cols; }
  int IndexWithinBlock(int r, int c) const { return (c % m_blockDim) + (r % m_blockDim) * m_blockDim; }
  const omi_IntTable<Row*>& BlockRows() const { return m_blockRows; }
  /// \brief Block row of a scalar row, or a negative value.
  int RowToBlockRow(int row) const { return row < m_rowToBlockRow.Size() ? m_rowToBlockRow[row] : -1; }
  const QORMtxArray<int>& ColumnList() const { return m_columnList; }
  const QORBasVector<int>& HugeValueRows() const { return m_hugeRows; }
  Alloc& Allocator() { return m_allocator; }

  template <class U, class A>
  friend aio_ostream& operator<<(aio_ostream& os, const QORMtxMatrixBsr<U, A>& m);

  // MKL-style arrays: printed and copied, owned (mem_Free), filled by the caller if at all.
  T* m_values = nullptr;
  int* m_columns = nullptr;
  int* m_pointerB = nullptr;
  int* m_pointerE = nullptr;
  int* m_rowIndex = nullptr;
  int m_numBlocks = 0;
  int m_numEntries = 0;

 private:
  void CopyFrom(const QORMtxMatrixBsr& rhs);
  void Release();
  /// Copies scalar row r of the blocks into out (RowLen values, zero where no block is).
  void FillRow(int r, T* out) const;

  T* m_packedRows = nullptr;
  int m_numPackedRows = 0;
  int m_numBlockRows = 0;
  int m_blockSize = 1;
  int m_blockDim = 1;
  int m_indexing = 0;
  Alloc m_allocator;
  omi_IntTable<Row*> m_blockRows;
  int m_rows = 0;
  int m_cols = 0;
  QORMtxArray<int> m_rowToBlockRow{0, -1};
  QORMtxArray<int> m_columnList{0, -1};
  QORBasVector<int> m_hugeRows;
  T* m_mirror = nullptr;
  int m_mirrorRows = 0;
  int m_mirrorCols = 0;
  long long m_mirrorBytes = 0;
};

template <class U, class A>
aio_ostream& operator<<(aio_ostream& os, const QORMtxMatrixBsr<U, A>& m);
template <class U, class A>
aio_ostream& operator<<(aio_ostream& os, const QORMtxMatrixBsr<U, A>* m) {
  return os << *m;
}

/// \brief Walk over the stored values, block row by block row, block by block, row-major in each block.
/// First and Next return the value's address, or END once every value was visited.
template <class T>
class QORMtxMatrixBsrIterator {
 public:
  inline static T* const END = reinterpret_cast<T*>(0xDEAD);

  template <class Alloc>
  explicit QORMtxMatrixBsrIterator(const QORMtxMatrixBsr<T, Alloc>& m) : m_blockDim(m.BlockDim()) {
    for (omi_IntTableIterator<typename QORMtxMatrixBsr<T, Alloc>::Row*> r(m.BlockRows()); !r.IsDone(); r.Next())
      for (omi_IntTableIterator<T*> b(r.CurrentValue()->Blocks()); !b.IsDone(); b.Next())
        m_blocks.push_back({r.CurrentKey(), b.CurrentKey(), b.CurrentValue()});
  }
  T* First() {
    m_block = 0;
    m_k = 0;
    return Current();
  }
  T* Next() {
    if (++m_k == m_blockDim * m_blockDim) {
      m_k = 0;
      ++m_block;
    }
    return Current();
  }
  /// \brief 0-based scalar row and column of the current value.
  int Row() const { return m_blocks[m_block].blockRow * m_blockDim + m_k / m_blockDim; }
  int Col() const { return m_blocks[m_block].blockCol * m_blockDim + m_k % m_blockDim; }

 private:
  struct Block {
    int blockRow, blockCol;
    T* values;
  };
  T* Current() const { return m_block < m_blocks.size() ? m_blocks[m_block].values + m_k : END; }
  int m_blockDim;
  std::vector<Block> m_blocks;
  size_t m_block = 0;
  int m_k = 0;
};
