// QORMtxSimpleMultiMatrix: small matrices as one drawer each over (identifier, columns, rows): dense, chunked or sparse.
#pragma once
#include "QORMtxMultiMatrix.h"

class QORMtxSparseMatrix;

/// \brief A three-dimensional distribution (identifiers, columns, rows) with one drawer per matrix. A dense
/// drawer's buffer is the column-major matrix; a sparse drawer runs dimension 1 over the rows and 2 over the
/// columns, with sparse serialization. Matrix k is drawer k.
class QORMtxSimpleMultiMatrix {
 public:
  QORMtxSimpleMultiMatrix() = default;
  explicit QORMtxSimpleMultiMatrix(const QORSimDistribution& dist) { Reset(dist); }
  explicit QORMtxSimpleMultiMatrix(const QORSimDistributionID& id) { Reset(id); }
  virtual ~QORMtxSimpleMultiMatrix() = default;
  void Reset() { InitializeState(); }
  /// \brief Precondition "dist.NumDimensions() == 3".
  void Reset(const QORSimDistribution& dist);
  void Reset(const QORSimDistributionID& id);

  bool IsNull() const { return m_cache.Distribution().IsNull(); }
  int NumDrawers() const { return m_cache.Drawers().Size(); }
  /// \brief Items of drawer k (its values; the stored entries of a sparse one).
  int NumDrawerItems(int k) const { return static_cast<int>(m_cache.Drawer(k).DataSizeItems(0)); }
  QORSimArray<QORSimCSetID> GetDrawerDomain(int k) const { return m_cache.Drawer(k).Compartment().Sets(); }

  /// \brief A new dense drawer holding mtx. Preconditions "QORSimCSet(set0).Size() == 1",
  /// "mtx.NumberOfRows() == numRows && mtx.NumberOfColumns() == numCols".
  void AddDrawer(const QORSimCSetID& id, const QORSimCSetID& rows, const QORSimCSetID& cols, const QORMtxMatrix& mtx);
  /// \brief The same in chunks of chunk × chunk; blocks of exact zeros are not written (they read as 0).
  void AddDrawerChunked(const QORSimCSetID& id, const QORSimCSetID& rows, const QORSimCSetID& cols,
                        const QORMtxMatrix& mtx, int chunk);
  /// \brief A new sparse drawer holding mtx (symmetric serialization for symmetric storage).
  void AddDrawerSparse(const QORSimCSetID& id, const QORSimCSetID& rows, const QORSimCSetID& cols,
                       const QORMtxSparseMatrix& mtx);
  /// \brief Matrix k, dense or sparse, into out. Precondition "dims[0] == 1".
  void GetDrawer(int k, QORMtxMatrix& out) const;
  /// \brief Dense matrix k into the caller's rows · columns doubles.
  void GetDrawer(int k, double* out) const;

 private:
  void InitializeState() { m_cache.Reset(); }
  void SetDistribution(const QORSimDistribution& dist);
  void ReadDense(const QORSimDrawerDescription& d, double* out) const;

  QORMtxDrawerCache m_cache;
};
