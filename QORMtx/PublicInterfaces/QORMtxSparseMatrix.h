// QORMtxSparseMatrix: sparse matrix of doubles in compressed rows, unsymmetric or symmetric storage, with assembly.
#pragma once
#include <cstdio>
#include <string>

#include "QORBasVector.h"
#include "QORMtxEntryList.h"
#include "QORMtxSparseMatrixEntry.h"
#include "QORSimIDs.h"

class QORMtxSparseMatrixIterator;
class QORMtxDenseMatrix;
class QORMtxMatrix;
class QORFsmElementDofs;
class QORMtxMultiMatrix;
class omi_Set;

/// \brief General sparse matrix of doubles: compressed sparse rows, 0-based, columns strictly ascending in a row.
///
/// Two stored forms, told apart by Diagonal():
/// - unsymmetric storage (no diagonal array): every stored entry in the row arrays, diagonal ones included;
/// - symmetric storage: the strictly lower triangle (column < row) in the row arrays plus the full diagonal in its
///   own array (0.0 where nothing was given). The upper triangle is implied by mirroring and never stored; after
///   PermuteInPlace an entry may stand above the diagonal instead, still meaning itself and its mirror.
///
/// States. A matrix is *collecting* (IsAssembled() false: AddData allowed, arrays null) or *assembled* (arrays
/// valid, AddData refused). BeginAssembly and Reset lead to collecting; EndAssembly leads to assembled, except on an
/// empty entry list with zero rows or zero columns, which stays collecting.
///
/// Duplicates. Any number of AddData calls may name one position; EndAssembly sums them into one stored value, in
/// no defined order (the bucket path: in the order they were added). Cost: O(n + numRows + numCols) for n
/// collected entries plus a sort of each row's entries; the list is grouped by row in place (count, prefix sums,
/// cache-sized cycle passes), so apart from the exactly sized stored arrays only two row-start arrays are
/// allocated. 16 bytes per collected entry, 12 per stored one. CheckInvariants() verifies the stored form.
///
/// Not thread-safe even for const use: IsSymmetric, GetRowOrdinals and GetColOrdinals fill caches.
class QORMtxSparseMatrix {
 public:
  /// Values of the cached symmetry flag.
  enum SymmetryFlag {
    e_unknown = 0,     ///< not yet determined
    e_symmetric = 1,   ///< numerically symmetric, or symmetric storage
    e_unsymmetric = 2  ///< known not to be symmetric
  };

  // ---- Construction and lifetime ----
  /// \brief Empty numRows × numCols matrix, collecting, whose entry list starts with n entries (0, 0, 0.0).
  ///
  /// Those n entries become one explicit 0.0 at (0, 0) at the first EndAssembly. Precondition
  /// "n <= 0 || (numRows > 0 && numCols > 0)", so that they lie inside the matrix.
  explicit QORMtxSparseMatrix(int numRows = 0, int numCols = 0, int n = 0);
  /// \brief Assembled from the element matrices of multi on the degrees of freedom of their elements (see
  /// AssembleElmat; nothing happens for a null multi-matrix). Each element matrix is read once, in order, so every
  /// layout serves, the bulk one included. Defined in QORMtxSparseMatrixElements.cpp.
  QORMtxSparseMatrix(const QORMtxMultiMatrix& multi, const QORFsmElementDofs& elemDofs, int columnMode, omi_Set& rows,
                     omi_Set& cols);
  /// \brief Releases the four arrays, the ordinals and the entry list.
  ~QORMtxSparseMatrix();
  QORMtxSparseMatrix(const QORMtxSparseMatrix&) = delete;
  QORMtxSparseMatrix& operator=(const QORMtxSparseMatrix&) = delete;

  // ---- Assembly protocol ----
  /// \brief Starts collecting: releases the arrays, sets the nonzero count and the symmetry flag to 0, empties the
  /// entry list. reset true also nulls both set identifiers and sets the shape to 0 × 0 (AddData with grow then
  /// sizes it); reset false keeps shape and domain. Explicit ordinals are kept in both cases.
  void BeginAssembly(bool reset);
  /// \brief Collects the entry (row, col, value); duplicates are summed by EndAssembly.
  ///
  /// Precondition "m_assemblyComplete == false". grow true: the shape becomes at least (row + 1) × (col + 1);
  /// grow false: "row < m_numRows && col < m_numCols" (unsigned comparison).
  void AddData(unsigned row, unsigned col, double value, bool grow) {
    // The common case inline (collecting, inside the shape, room in the list): assembly loops call this once per
    // entry. Everything else, every failure included, takes the checked path.
    if (!m_assemblyComplete && !grow && row < static_cast<unsigned>(m_numRows) &&
        col < static_cast<unsigned>(m_numCols) && m_entries.Length() < m_entries.Capacity()) {
      m_entries.Append(row, col, value);
      return;
    }
    AddDataChecked(row, col, value, grow);
  }
  /// \brief Builds the stored form from the collected entries and empties the list; nothing when already assembled.
  ///
  /// symmetric true asks for symmetric storage: the entries must then lie in the lower triangle, diagonal
  /// included ("currEntry.m_row >= currEntry.m_col && \"Ensure lower half of symmetric matrix provided\"" on the
  /// default path). With no entries the matrix gets all-zero row starts and no values (and no diagonal, even for
  /// symmetric), or stays collecting when it has zero rows or columns.
  ///
  /// Path: when the environment variable ZUL_MTXSPARSE_NEWASMB is set (to anything, even empty) at the call, the
  /// bucket assembly runs: it prints a "*** QORMtxSparseMatrix::NewAssemble: ..." notice and does not check the
  /// triangle (an upper entry is stored in its own row). Both paths give the same structure, and the same values up to
  /// the order duplicates are summed in.
  void EndAssembly(bool symmetric);
  /// \brief Empties the matrix to a collecting numRows × numCols one: arrays released, set identifiers nulled,
  /// ordinals and entry list cleared, nonzero count and symmetry flag 0.
  void Reset(int numRows, int numCols);
  /// \brief True once the stored arrays are valid (after EndAssembly); false while collecting.
  bool IsAssembled() const { return m_assemblyComplete; }
  /// \brief Checks the stored form. True when collecting, or when assembled and: row starts begin at 0, never
  /// decrease and end at NumberOfNonzeros(); every column lies in [0, columns) and strictly ascends within its
  /// row; in symmetric storage the matrix is square, no stored column equals its row and no position is stored
  /// together with its mirror (entries lie below the diagonal after assembly, on either side after a
  /// permutation). Otherwise false,
  /// with the first violation described in *why when why is given. O(nonzeros).
  bool CheckInvariants(std::string* why = nullptr) const;
  /// \brief Room for n collected entries, so that a known number of AddData calls never reallocates.
  void ReserveEntries(int n);
  /// \brief Number of entries collected so far in this assembly.
  int NumberOfCollectedEntries() const { return m_entries.Length(); }
  /// \brief Times the entry list had to grow during the current or last assembly (0 after a sufficient
  /// ReserveEntries).
  int NumberOfEntryReallocations() const { return m_entryReallocations; }

  // ---- Queries ----
  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  /// \brief Values in the row arrays (in symmetric storage the strictly lower ones only).
  int NumberOfNonzeros() const { return m_numNonzeros; }
  /// \brief NumberOfNonzeros(), plus the number of rows in symmetric storage.
  int NumberOfEntries() const { return m_diagonal ? m_numNonzeros + m_numRows : m_numNonzeros; }
  /// \brief True when there are no entries.
  bool operator!() const { return NumberOfEntries() == 0; }
  bool IsNull() const { return NumberOfEntries() == 0; }
  bool IsSquare() const { return m_numRows == m_numCols; }
  /// \brief Square, and the first m_numRows row ordinals equal the column ordinals one by one. A matrix without
  /// ordinals (neither explicit nor from a domain) counts as perfectly square when it is square.
  bool IsPerfectlySquare() const;
  /// \brief Numerical symmetry, cached until the next assembly or Reset: |(a - b)/a| (|a - b| when a is 0.0)
  /// at most 1e-16 for every mirrored pair, and the same number of entries above and below the diagonal.
  /// Symmetric storage is always symmetric. Precondition "m_assemblyComplete".
  bool IsSymmetric() const;
  /// \brief True for 0 rows, or when every stored value (diagonal included) is exactly 0.0; a NaN is non-zero.
  bool IsZero() const;
  /// \brief The diagonal array in symmetric storage, null in unsymmetric storage.
  const double* Diagonal() const { return m_diagonal; }
  double* Diagonal() { return m_diagonal; }
  /// \brief Stored entries of row r (unsymmetric storage only); 0 for a null matrix.
  /// Preconditions "!m_diagonal && \"QORMtxSparseMatrix::RowSize() is currently implemented for the unsymetric
  /// case only\"" and "row >=0 && row < m_numRows".
  int RowSize(int row) const;
  /// \brief Column indices of row r (unsymmetric storage only); null for a null matrix. Preconditions as RowSize.
  const int* RowColumns(int row) const;
  /// \brief Values of row r. Preconditions "!IsNull() && row >=0 && row < m_numRows", then as RowSize.
  double* RowValues(int row);
  const double* RowValues(int row) const;

  // ---- Simple operations ----
  /// \brief Multiplies every stored value, diagonal included, by s.
  void Scale(double s);
  /// \brief Sets every stored value in one of the n listed columns to 0.0, keeping the structure (unsymmetric
  /// storage only: "!m_diagonal && \"QORMtxSparseMatrix::SetColumnsToZero: symmetric not supported\"").
  /// Listed columns outside the matrix are ignored.
  void SetColumnsToZero(const int* cols, int n);
  /// \brief Prints "*** NAN detected at name[row,col]: value at file, line n" on standard output for every NaN
  /// entry (the entries of QORMtxSparseMatrixIterator).
  void ScanForNans(const char* name, const char* file, int line) const;
  /// \brief New array of the entries, released by the caller with mem_Free; count receives its length.
  ///
  /// Unsymmetric storage: the stored entries row by row. Symmetric storage: NumberOfRows() + 2·NumberOfNonzeros()
  /// entries, per row the diagonal (r, r) and then, for each stored (r, c), the mirror (c, r) followed by (r, c).
  /// A matrix of 0 rows gives null and count 0.
  QORMtxSparseMatrixEntry* GetEntries(int& count) const;
  /// \brief Fills the null matrix A ("A.IsNull()") with the entries at the listed rows and columns: A(i, j) =
  /// this(rows[i], cols[j]), mirrored entries of symmetric storage included. A is in unsymmetric storage and
  /// grows with its entries, so trailing listed rows or columns without entries are not part of its shape (a block
  /// without entries stays 0 × 0 and collecting). An index listed twice maps to its first position.
  void GetBlock(const QORBasVector<int>& rows, const QORBasVector<int>& cols, QORMtxSparseMatrix& A) const;
  /// \brief New array of NumberOfRows() unsigned (release with mem_Free) whose first n entries are the rows with a
  /// stored entry, ascending (in symmetric storage the diagonal does not count).
  unsigned* FindNontrivialRows(int& n) const;
  /// \brief New array of NumberOfColumns() unsigned (release with mem_Free) whose first n entries are the columns
  /// of the stored entries, ascending (in symmetric storage the diagonal does not count).
  unsigned* FindNontrivialColumns(int& n) const;

  // ---- Products ----
  /// \brief y = A·x, or Aᵀ·x when transpose, for numVectors column-major columns (leading dimension the length of
  /// the input and output vectors). y is overwritten. In symmetric storage transpose is ignored and x, y have
  /// leading dimension NumberOfRows(). Precondition "m_assemblyComplete".
  void Multiply(const double* x, int numVectors, double* y, bool transpose) const;
  /// \brief u = A·v, or Aᵀ·v, one column block of the stored matrix v at a time; rows of u past the product's
  /// length are set to zero. Preconditions "m_assemblyComplete", "numRows >= numColsT" (v has at least the inner
  /// dimension of rows).
  void MultiplyDense(const QORMtxDenseMatrix& v, QORMtxDenseMatrix& u, bool transpose) const;
  /// \brief Aᵀ·v into the plain array u (NumberOfColumns() values per column of v, column after column), reading
  /// from v only the rows that meet a stored entry. Unsymmetric storage and transpose true only.
  void MultiplyDense(const QORMtxDenseMatrix& v, double* u, bool transpose) const;
  /// \brief u = A·v or Aᵀ·v with the inner dimension paired to the rows of v by data-store ordinal.
  ///
  /// Preconditions "m_assemblyComplete", "numRowsT == v.NumberOfRows()" (the outer dimension of the product must
  /// equal v's row count, so the product is in practice square), "numColsU == v.NumberOfColumns()" and, when any
  /// index is paired, "numMapped==numColsT" (every inner index paired). With no pair at all u is left untouched.
  void MultiplyDenseMapped(const QORMtxDenseMatrix& v, QORMtxDenseMatrix& u, bool transpose) const;
  /// \brief A = D·this (left) or this·D (right) for a diagonal D; A must be null and keeps this storage form.
  ///
  /// \warning A grows from its entries, so trailing rows or columns without entries are not part of its shape.
  /// In symmetric storage only the stored lower triangle and the diagonal are scaled and A is again symmetric
  /// storage: mirrored, that is D·this only when D is a multiple of the identity. A permuted symmetric matrix
  /// (entries above the diagonal) is refused by the lower-triangle check of the assembly.
  void MultiplyByDiagonal(bool left, const QORMtxMatrix& D, QORMtxSparseMatrix& A) const;

  // ---- Transformations ----
  /// \brief this = Tᵀ·this·T for square unsymmetric matrices of one size. restoreT false leaves T one-based, so
  /// that repeated transformations with one T skip its conversion.
  void ApplyTransformation(QORMtxSparseMatrix& T, bool restoreT);
  /// \brief this = A - B in unsymmetric storage, positions of both kept (a shared one summed). With grow false
  /// this matrix must already hold their shape.
  void Subtract(const QORMtxSparseMatrix& A, const QORMtxSparseMatrix& B, bool grow);
  /// \brief In-place transpose (unsymmetric storage): shape, ordinals and set identifiers exchanged.
  void Transpose();
  /// \brief T = thisᵀ (unsymmetric storage).
  void Transpose(QORMtxSparseMatrix& T) const;
  /// \brief New matrix B (the caller deletes it) with B(i, j) = this(perm[i], perm[j]).
  QORMtxSparseMatrix* Permute(const int* perm) const;
  /// \brief this(i, j) = old this(perm[i], perm[j]).
  void PermuteInPlace(const int* perm);
  /// \brief Old row r becomes row perm[r] (unsymmetric storage); columns unchanged.
  void PermuteRows(const int* perm);
  /// \brief Drops columns without entries and renumbers the rest ascending (unsymmetric storage).
  void CompressColumns();
  /// \brief Drops columns without entries; returns the kept old column indices (n of them, released by the caller
  /// with mem_Free). Ordinals are not touched.
  unsigned* EliminateTrivialColumns(int& n);

  // ---- Printing ----
  /// \brief Raw dump of the arrays on stream (standard output when null): a line with the title, the counts and
  /// ", symmetric storage" when so; then "  rowP:", "  colI:", "  data:" (and "  diag:") lines.
  void PrintArrays(const char* title, FILE* stream) const;
  /// \brief Dense listing: the matrix expanded by QORMtxUtilities::Sparse2Core and printed with
  /// QORMtxMatrix::Print2File(stream, width, precision, zeroTol, title).
  void PrintTable(const char* title, FILE* stream, int width, int precision, double zeroTol) const;
  /// \brief Entry listing (row, column, value per iterator entry) through a text document, on fileName (mode "w")
  /// or standard output when fileName is null or cannot be opened.
  void Print(const char* title, const char* fileName, int precision, double tol) const;

  // ---- Ordinals and data-store domain ----
  /// \brief Ties rows and columns to data-store collection sets.
  void SetDomain(const QORSimCSetID& rowSetID, const QORSimCSetID& colSetID);
  QORSimCSetID RowCSetID() const { return m_rowSetID; }
  QORSimCSetID ColumnCSetID() const { return m_colSetID; }
  /// \brief Copies NumberOfRows() row and NumberOfColumns() column ordinals; a null array clears that list.
  /// Precondition "m_rowSetID.IsNull() && m_colSetID.IsNull()".
  void SetOrdinals(const int* rowOrdinals, const int* colOrdinals);
  /// \brief As SetOrdinals for the rows only. Precondition "m_rowSetID.IsNull()".
  void SetRowOrdinals(const int* rowOrdinals);
  /// \brief As SetOrdinals for the columns only. Precondition "m_colSetID.IsNull()".
  void SetColOrdinals(const int* colOrdinals);
  /// \brief The explicit row ordinals; else, with a row set, its ordinals (fetched once); else null.
  const int* GetRowOrdinals() const;
  /// \brief The explicit column ordinals; else, with a column set, its ordinals (fetched once); else null.
  const int* GetColOrdinals() const;

 private:
  friend class QORMtxSparseMatrixIterator;
  friend class QORMtxSparseImExPorter;
  friend class QORMtxMatrixMarket;
  friend struct QORMtxSparseMatrixTestPeer;  // white-box tests of the private members
  friend class QORMtxSimpleMultiMatrix;      // stores the arrays as a sparse drawer

  /// Adopts finished arrays as they are (assembled; symmetry flag 1 when a diagonal is given, else 0).
  QORMtxSparseMatrix(unsigned* rowP, int* colI, double* data, double* diagonal, int numNonzeros, int numRows,
                     int numCols);

  /// Rebuilds unsymmetric storage from n entries in any order: columns sorted per row, duplicates summed.
  void ResetData(const QORMtxSparseMatrixEntry* entries, int n, int numRows, int numCols);
  void ToOneBased();
  void ToZeroBased();
  /// Binary search of value in the ascending a[0..n): its index, or -1 (also for n < 1).
  int FindIndex(const int* a, int n, int value) const;

  /// What element assembly reads of a family of element matrices: the calls it makes on a multi-matrix
  /// (IsSymmetric, NumMatrices, GetId, NumEntries, GetEntries), so that any source of element matrices can adapt.
  struct ElementMatrices {
    virtual ~ElementMatrices() = default;
    virtual bool IsSymmetric() const = 0;
    virtual int NumMatrices() const = 0;
    /// The element label of matrix k.
    virtual int GetId(int k) const = 0;
    virtual int NumEntries(int k) const = 0;
    /// NumEntries(k) packed local indices (row + column·nDof) and their values.
    virtual void GetEntries(int k, int* indices, double* values) const = 0;
  };
  /// Assembles the element matrices on the degrees of freedom of their elements. rows (and cols) receive the
  /// degrees of freedom met (columnMode >= 1: the local column indices instead), and are numbered in ascending
  /// order into the rows (columns) of this matrix. The caller's sets are added to, not cleared. Each element
  /// matrix is read once, in order: its entries are collected on their degrees of freedom and renumbered in place.
  /// Preconditions "!elemDofs.IsNull()", "nelems <= eldofsize", a label present in the table, local indices
  /// inside the element.
  void AssembleElmat(const ElementMatrices& multi, const QORFsmElementDofs& elemDofs, int columnMode, omi_Set& rows,
                     omi_Set& cols);

  /// AddData with its preconditions, shape growth and list growth.
  void AddDataChecked(unsigned row, unsigned col, double value, bool grow);
  void ReleaseArrays();
  /// Fills ordinals from the set once; the list or null.
  const int* FetchOrdinals(const QORSimCSetID& setID, QORBasVector<int>& ordinals) const;
  void AssembleSorted(bool symmetric);
  void AssembleBuckets(bool symmetric);
  /// Releases the stored arrays and takes the given ones (null for none) with nnz values; fatal when nnz, or nnz
  /// plus the diagonal, is more than NumberOfEntries() can count.
  void AdoptArrays(unsigned* rowP, int* colI, double* data, double* diagonal, size_t nnz);
  /// Takes over the shape, arrays and state of a matrix built aside (left without arrays), so that a failure while
  /// building leaves this matrix as it was; domain and ordinals stay.
  void AdoptAssembled(QORMtxSparseMatrix& built);
  /// y = A(idx, :)ᵀ·x with x holding only the numIdx listed rows (transpose true only).
  void MultiplyIndexed(const double* x, int numVectors, double* y, bool transpose, int numIdx,
                       const unsigned* idx) const;
  /// New arrays of the transpose (released with QORMtxUtilities::Deallocate / mem_Free as the matrix's own).
  void TransposeSparseData(double** data, int** colI, unsigned** rowP) const;
  /// cols[i], vals[i] = old cols[perm[i]], vals[perm[i]] by following cycles; perm is left the identity.
  void InPlaceReorderArrays(int* cols, double* vals, unsigned* perm, int n) const;

  double* m_data = nullptr;
  int* m_colI = nullptr;
  unsigned* m_rowP = nullptr;
  double* m_diagonal = nullptr;
  int m_numNonzeros = 0;
  int m_numRows = 0;
  int m_numCols = 0;
  mutable int m_symFlag = e_unknown;
  QORSimCSetID m_rowSetID;
  QORSimCSetID m_colSetID;
  mutable QORBasVector<int> m_rowOrdinals;
  mutable QORBasVector<int> m_colOrdinals;
  QORMtxEntryList m_entries;
  bool m_assemblyComplete = false;
  int m_entryReallocations = 0;
};
