// QORMtxMatrixContainer: numbered stored dense matrices in a private database, and its unmangled interface.
#include "QORMtxMatrixContainer.h"

#include <cstdio>
#include <new>
#include <vector>

#include "QORBasUtlFilePath.h"
#include "QORMtxAssert.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxScratchFiles.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

QORMtxMatrixContainer::QORMtxMatrixContainer() {
  // The address keeps the name distinct from every other container of the process.
  char name[64];
  std::snprintf(name, sizeof name, "QORMtxMatrixContainer%p.sim", static_cast<void*>(this));
  m_fileName = QORBasUtlFilePath::AbsolutePathName(QORMtxUtilities::GetTempDirectory(), name);
  if (QORBasUtlFilePath::Exists(m_fileName)) std::remove(m_fileName.c_str());
  QORSimDatabase::Create(m_fileName.c_str(), QORSimSchema());
  qormtx_scratch::RegisterLiveFile(
      this, [](void* container) { static_cast<QORMtxMatrixContainer*>(container)->CloseAndRemove(); });
  m_context = ContextID();
  QORSimTransaction transaction(m_context);
  QORSimContext context(m_context);
  m_rowCollection = context.CreateCollection(0, QORSimTypeID(), "rows");
  m_colCollection = context.CreateCollection(0, QORSimTypeID(), "columns");
  transaction.Commit();
}

QORMtxMatrixContainer::~QORMtxMatrixContainer() {
  qormtx_scratch::UnregisterLiveFile(this);
  for (const auto& entry : m_matrices) delete entry.second;
  m_matrices.Clear();
  CloseAndRemove();
}

void QORMtxMatrixContainer::CloseAndRemove() {
  Close();
  if (QORBasUtlFilePath::Exists(m_fileName)) std::remove(m_fileName.c_str());
}

QORMtxDenseMatrix& QORMtxMatrixContainer::Create(int key, int nRow, int nCol, int rowBlockSize, int colBlockSize) {
  return CreateMatrix(key, nRow, nCol, nullptr, nullptr, rowBlockSize, colBlockSize);
}

QORMtxDenseMatrix& QORMtxMatrixContainer::Create(int key, int nRow, int nCol, const int* rowOrds, const int* colOrds,
                                                 int rowBlockSize, int colBlockSize) {
  return CreateMatrix(key, nRow, nCol, rowOrds, colOrds, rowBlockSize, colBlockSize);
}

namespace {
// An ordered set of n members from ordinals, or 0 … n − 1 without them.
QORSimCSetID OrderedSet(const QORSimCollectionID& collection, const int* ordinals, int n) {
  std::vector<int> numbered;
  if (!ordinals) {
    numbered.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) numbered[static_cast<size_t>(i)] = i;
    ordinals = numbered.data();
  }
  return QORSimCollection(collection).CreateOrderedCSet(ordinals, n);
}
}  // namespace

QORMtxDenseMatrix& QORMtxMatrixContainer::CreateMatrix(int key, int nRow, int nCol, const int* rowOrds,
                                                       const int* colOrds, int rowBlockSize, int colBlockSize) {
  QORMTX_PRL_ASSERT(nRow > 0 && nCol > 0);
  QORMTX_PRL_ASSERT(rowBlockSize > 0 && colBlockSize > 0);
  QORSimTransaction transaction(m_context);
  const QORSimCSetID rows = OrderedSet(m_rowCollection, rowOrds, nRow);
  const QORSimCSetID cols = OrderedSet(m_colCollection, colOrds, nCol);
  QORMtxUtilities::LimitChunkSize2GB(rowBlockSize, colBlockSize, nRow, nCol);
  const QORSimDistributionID id = QORMtxUtilities::Create2DDistribution(rows, cols, rowBlockSize, colBlockSize);
  transaction.Commit();
  auto* matrix = new QORMtxDenseMatrix(id);
  const bool status = m_matrices.Insert(key, matrix);
  if (!status) delete matrix;
  QORMTX_PRL_ASSERT(status);
  return *matrix;
}

QORMtxDenseMatrix& QORMtxMatrixContainer::Get(int key) {
  QORMtxDenseMatrix* const* matrix = m_matrices.Find(key);
  QORMTX_PRL_ASSERT(matrix);
  return **matrix;
}

void QORMtxMatrixContainer::Remove(int key) {
  QORMtxDenseMatrix* const* found = m_matrices.Find(key);
  QORMtxDenseMatrix* matrix = found ? *found : nullptr;
  QORMTX_PRL_ASSERT(m_matrices.Remove(key));
  delete matrix;
}

// ---- Unmangled interface ----

QORMtxMatrixContainer* qormtxmatrixcontainercreate(void) {
  void* memory = ::operator new(sizeof(QORMtxMatrixContainer), std::nothrow);
  return memory ? new (memory) QORMtxMatrixContainer() : nullptr;
}

void qormtxmatrixcontainerdelete(QORMtxMatrixContainer* handle) {
  if (!handle) return;
  handle->~QORMtxMatrixContainer();
  ::operator delete(handle);
}

int qormtxmatrixcontainernumrows(QORMtxMatrixContainer* handle, const int* key) {
  return handle->Get(*key).NumberOfRows();
}

int qormtxmatrixcontainernumcolumns(QORMtxMatrixContainer* handle, const int* key) {
  return handle->Get(*key).NumberOfColumns();
}

void qormtxmatrixcontainergetvalues(QORMtxMatrixContainer* handle, const int* key, double* values) {
  const QORMtxDenseMatrix& matrix = handle->Get(*key);
  const int rows = matrix.NumberOfRows(), cols = matrix.NumberOfColumns();
  QORMtxMatrix out(rows, cols, values);
  matrix.GetValues(0, rows - 1, 0, cols - 1, out);
}
