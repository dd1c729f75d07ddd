// QORMtxMultiMatrix: a family of small matrices (one per element or identifier) kept in the data store.
#pragma once
#include "QORSimDistribution.h"

class QORMtxMatrix;

/// \brief The interface of the element-matrix families that element assembly reads (QORMtxCompactMultiMatrix,
/// QORMtxBulkMultiMatrix). Matrix k has an identifier (GetId), NumEntries(k) entries named by flat column-major
/// positions p = i + j·R in an R-row matrix, and their values. A symmetric family stores an off-diagonal entry
/// once for both (i, j) and (j, i).
class QORMtxMultiMatrix {
 public:
  virtual ~QORMtxMultiMatrix() = default;
  virtual bool IsNull() const = 0;
  virtual bool IsSymmetric() const = 0;
  virtual int NumMatrices() const = 0;
  virtual int GetId(int k) const = 0;
  virtual int NumEntries(int k) const = 0;
  /// \brief The NumEntries(k) positions into indices and values into values, in the same order.
  virtual void GetEntries(int k, int* indices, double* values) const = 0;
  /// \brief Matrix k scattered into out, whose shape the caller fixes.
  virtual void GetMatrix(int k, QORMtxMatrix& out) const = 0;

 protected:
  /// \brief out = 0, then out(p mod R, p div R) = value for every entry, mirrored off the diagonal when symmetric.
  /// Preconditions "0 < size && size <= numRows*numCols", "0 <= index && index < numRows*numCols".
  static void Scatter(int size, const int* indices, const double* values, bool symmetric, QORMtxMatrix& out);
};

/// \brief The drawer descriptions of a distribution, cached until a write makes them stale: what the simple and
/// the compact family keep of the store between calls.
class QORMtxDrawerCache {
 public:
  void Reset();
  /// \brief Binds dist and refreshes the descriptions (refresh false: leaves them stale).
  void Bind(const QORSimDistribution& dist, bool refresh);
  /// \brief The descriptions, refreshed first when stale.
  const QORSimArray<QORSimDrawerDescription>& Drawers() const;
  /// \brief Drawer k (refreshed first when stale).
  const QORSimDrawerDescription& Drawer(int k) const { return Drawers()[k]; }
  void Refresh() const;
  void SetStale() { m_stale = true; }
  const QORSimDistribution& Distribution() const { return m_distribution; }
  /// \brief Reads the whole of one standard or element-matrix drawer of dist (its values only) into buffer.
  static void ReadWhole(const QORSimDistribution& dist, const QORSimDrawerDescription& drawer, void* buffer,
                        uint64_t bytes);

 private:
  QORSimDistribution m_distribution;
  mutable QORSimArray<QORSimDrawerDescription> m_drawers;
  mutable bool m_stale = true;
};
