// QORMtxCompactMultiMatrix: element matrices as one drawer each over (identifier, positions) of their listed entries.
#pragma once
#include "QORMtxMultiMatrix.h"

/// \brief A two-dimensional distribution (identifiers, flat positions) with one element-matrix drawer per
/// matrix: dimension 0 holds the matrix's one identifier, dimension 1 the positions of its stored entries, whose
/// values follow the order of that set. Matrix k is drawer k.
class QORMtxCompactMultiMatrix : public QORMtxMultiMatrix {
 public:
  QORMtxCompactMultiMatrix() = default;
  explicit QORMtxCompactMultiMatrix(const QORSimDistribution& dist) { Reset(dist); }
  explicit QORMtxCompactMultiMatrix(const QORSimDistributionID& id) { Reset(id); }
  void Reset() { InitializeState(); }
  /// \brief Precondition "dist.NumDimensions() == 2".
  void Reset(const QORSimDistribution& dist);
  void Reset(const QORSimDistributionID& id);

  /// \brief A new drawer holding one matrix: values[k] at flat position k of the set positions.
  /// Precondition "QORSimCSet(id).Size() == 1".
  void AddMatrix(const QORSimCSetID& id, const QORSimCSetID& positions, const double* values, bool symmetric);

  bool IsNull() const override { return m_cache.Distribution().IsNull(); }
  /// \brief Whether drawer 0 holds a symmetric element matrix.
  bool IsSymmetric() const override;
  int NumMatrices() const override { return m_cache.Drawers().Size(); }
  /// \brief The one member of drawer k's identifier set. Precondition "QORSimCSet(setID).Size() == 1".
  int GetId(int k) const override;
  int NumEntries(int k) const override;
  /// \brief Precondition "dims[0] == 1".
  void GetEntries(int k, int* indices, double* values) const override;
  void GetMatrix(int k, QORMtxMatrix& out) const override;
  /// \brief Drawer k's sets, one per dimension.
  QORSimArray<QORSimCSetID> GetDomain(int k) const;
  void Refresh() const { m_cache.Refresh(); }

 private:
  void InitializeState() { m_cache.Reset(); }
  void SetDistribution(const QORSimDistribution& dist);
  bool IsSymmetric(int k) const;

  QORMtxDrawerCache m_cache;
};
