// QORMtxBulkMultiMatrix: element matrices as one value stream, with a location table and shared index sets.
#pragma once
#include "QORBasMap.h"
#include "QORBasVector.h"
#include "QORMtxMultiMatrix.h"

class QORMtxStream;

/// \brief All values in one growing value stream (a stored dense matrix read and written in sequence); a location
/// table maps each identifier to an index set (stored once however many matrices share it) or to "full".
///
/// Lifecycle: opened, then written (AddMatrix) or read (GetEntries, GetMatrix) strictly in order 0, 1, 2, …;
/// the location table is written when the object is reset or destroyed. Values move to and from the stream in pieces
/// of whole stream columns sized by the buffer rules (at most 16 MiB): added values are written when a piece is full,
/// before a read and at reset; reads take a piece ahead.
/// \warning Matrices are read in sequence only: reading matrix k before k − 1 fails
/// "k == m_k && \"Random access not yet implemented\"", and a second pass over the family is refused alike.
class QORMtxBulkMultiMatrix : public QORMtxMultiMatrix {
 public:
  QORMtxBulkMultiMatrix() = default;
  /// \brief Opens the location table (2-D integers), the index sets (1-D integers) and the value stream.
  QORMtxBulkMultiMatrix(const QORSimDistributionID& loc, const QORSimDistributionID& ind,
                        const QORSimDistributionID& val, bool symmetric, int extCols);
  ~QORMtxBulkMultiMatrix() override;
  QORMtxBulkMultiMatrix(const QORMtxBulkMultiMatrix&) = delete;
  QORMtxBulkMultiMatrix& operator=(const QORMtxBulkMultiMatrix&) = delete;

  void Reset(const QORSimDistributionID& loc, const QORSimDistributionID& ind, const QORSimDistributionID& val,
             bool symmetric, int extCols);
  /// \brief Writes the location table of the matrices added, then releases everything.
  /// Precondition when matrices were added: "m_size0==0 && \"Extending pre-existing data not supported\"".
  void Reset();

  /// \brief Appends matrix id: n ≥ 0 entries at indices[0 … n−1], or (n < 0) a full matrix of order −n with
  /// FullLength(−n) values.
  void AddMatrix(int id, int n, const int* indices, const double* values);

  bool IsNull() const override { return m_locDist.IsNull(); }
  bool IsSymmetric() const override { return m_symmetric; }
  int NumMatrices() const override { return m_ids.size(); }
  int GetId(int k) const override;
  int NumEntries(int k) const override;
  int FullLength(int n) const { return m_symmetric ? n * (n + 1) / 2 : n * n; }
  void GetEntries(int k, int* indices, double* values) const override;
  /// \brief The same, returning the positions (owned by the family) instead of copying them.
  const int* GetEntries(int k, double* values) const;
  void GetMatrix(int k, QORMtxMatrix& out) const override;
  /// \brief Number of index sets, of full matrices, and the value matrix's shape.
  void Sizes(int& numIndsets, int& numFull, int& numRows, int& numCols) const;

 private:
  void Initialize(const QORSimDistributionID& loc, const QORSimDistributionID& ind, const QORSimDistributionID& val,
                  bool symmetric, int extCols);
  const int* GetIndset(int k, int& n) const;
  /// Reads matrix k's values from the stream in sequence; returns its positions.
  const int* ReadNext(int k, int& n, double* values) const;
  void ReadLocation();
  void ReadIndices();
  void WriteLocation();
  void WriteIndices(int n, const int* indices);
  /// Values in a piece: whole stream columns, as many as the buffer rules allow (at least one).
  int PieceLength() const;
  /// Writes the values added since the last piece went out.
  void FlushPending() const;
  /// The stream's next n values, through the read-ahead piece.
  void ReadAhead(double* values, int n) const;

  QORSimDistribution m_locDist;
  QORSimDistribution m_indDist;
  QORSimDistribution m_valDist;
  bool m_symmetric = false;
  QORBasVector<int> m_ids;
  QORBasVector<int> m_locations;
  int m_size0 = 0;
  QORBasVector<QORBasVector<int>> m_indsets;
  mutable QORBasMap<int, QORBasVector<int>> m_fullIndsets;
  QORMtxStream* m_stream = nullptr;
  mutable int m_k = 0;
  mutable QORBasVector<double> m_pending;  // added values not yet in the stream
  mutable QORBasVector<double> m_ahead;    // values read ahead, of which the first m_aheadUsed are taken
  mutable int m_aheadUsed = 0;
};
