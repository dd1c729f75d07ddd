// QORMtxSparseImExPorter: sparse matrices to and from data-store drawers (row starts, columns, values, diagonal).
#include <cstdint>
#include <climits>
#include <string>

#include "QORMtxAssert.h"
#include "QORMtxSparseImExPorter.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORSim.h"
#include "aio_ostream.h"

static_assert(sizeof(unsigned) == sizeof(int), "row starts travel through the store's int buffer");

void QORMtxSparseImExPorter::Export(const QORMtxSparseMatrix& mtx, const QORSimCSetID& rowSetID,
                                    const QORSimCSetID& colSetID, const QORSimDistributionID& id) const {
  QORMTX_ASSERT(mtx.m_assemblyComplete);
  const int numRows = mtx.m_numRows, numCols = mtx.m_numCols;
  const uint64_t nnz = static_cast<uint64_t>(mtx.m_numNonzeros);
  QORMTX_ASSERT(QORSimCSet(rowSetID).Size() == numRows);
  QORMTX_ASSERT(QORSimCSet(colSetID).Size() == numCols);
  const bool symmetric = mtx.m_diagonal != nullptr;
  QORSimTransfer transfer{QORSimDistribution(id)};
  transfer.SetMakeNewDrawer();
  transfer.SetWrite();
  transfer.SetBufferPadding(false);
  transfer.SetSparseNNonzero(static_cast<int64_t>(nnz));
  transfer.SetDim(0, rowSetID);
  transfer.SetDim(1, colSetID);
  QORSimSerializationType serialization;
  symmetric ? serialization.SetSparseSymmetric() : serialization.SetSparse();
  transfer.SetSerialization(serialization);
  transfer.CheckView();
  QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufSparseMap) == (numRows+1)*sizeof(int));
  QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufIndicesNZ) == nnz*sizeof(int));
  QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufMain) == nnz*sizeof(double));
  if (symmetric) QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufDiagonal) == numRows*sizeof(double));
  transfer.SetBuffer(QORSimbufSparseMap, static_cast<const void*>(mtx.m_rowP), (numRows + 1) * sizeof(int));
  transfer.SetBuffer(QORSimbufIndicesNZ, static_cast<const void*>(mtx.m_colI), nnz * sizeof(int));
  transfer.SetBuffer(QORSimbufMain, static_cast<const void*>(mtx.m_data), nnz * sizeof(double));
  if (symmetric)
    transfer.SetBuffer(QORSimbufDiagonal, static_cast<const void*>(mtx.m_diagonal), numRows * sizeof(double));
  transfer.ExecWrite();
  transfer.RelinquishBuffers();
}

void QORMtxSparseImExPorter::Import(QORMtxSparseMatrix& mtx, const QORSimDistributionID& id) {
  const QORSimDistribution distribution(id);
  QORMTX_ASSERT(distribution.NumDrawers() == 1);
  const QORSimDrawerDescription drawer = distribution.QueryDrawers()[0];
  const QORSimCompartment& compartment = drawer.Compartment();
  const int last = compartment.NumDimensions() - 1;  // leading one-member dimensions belong to families
  const QORSimCSetID rowSetID = compartment.CSetID(last - 1), colSetID = compartment.CSetID(last);
  const bool symmetric = drawer.IsSymmetric();
  QORMTX_ASSERT(symmetric || drawer.SerializationType().HasSparse());
  const int64_t numNonZero = drawer.NumNonZero();
  QORMTX_ASSERT(numNonZero >= 0 && numNonZero <= INT32_MAX);

  // Read aside and hand over at the end, so that the old contents stay until the new ones are complete.
  QORMtxSparseMatrix built(drawer.DimensionSizes()[last - 1], drawer.DimensionSizes()[last]);
  built.m_numNonzeros = static_cast<int>(numNonZero);
  QORSimTransfer transfer{distribution};
  transfer.SetRead();
  transfer.SetBufferPadding(false);
  transfer.SetSparseNNonzero(numNonZero);
  for (int d = 0; d <= last; ++d) transfer.SetDim(d, compartment.CSetID(d));
  transfer.SetSerialization(drawer.SerializationType());
  transfer.CheckView();
  {
    const QORMtxSparseMatrix& mtx = built;  // the checks name the matrix's fields
    QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufSparseMap) == (mtx.m_numRows+1)*sizeof(int));
    QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufIndicesNZ) == mtx.m_numNonzeros*sizeof(int));
    if (symmetric) QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufDiagonal) == mtx.m_numRows*sizeof(double));
    QORMTX_ASSERT(transfer.RequiredBufferSize(QORSimbufMain) == mtx.m_numNonzeros*sizeof(double));
  }
  const size_t rows = static_cast<size_t>(built.m_numRows), nnz = static_cast<size_t>(numNonZero);
  qormtx_sparse::Owned<unsigned> rowP(qormtx_sparse::NewUnsigned(rows + 1));
  qormtx_sparse::Owned<int> colI(qormtx_sparse::NewInt(nnz));
  qormtx_sparse::Owned<double> data(qormtx_sparse::NewDouble(nnz));
  qormtx_sparse::Owned<double> diagonal(symmetric ? qormtx_sparse::NewDouble(rows) : nullptr);
  transfer.SetBuffer(QORSimbufSparseMap, static_cast<void*>(rowP.get()), (rows + 1) * sizeof(int));
  transfer.SetBuffer(QORSimbufIndicesNZ, static_cast<void*>(colI.get()), nnz * sizeof(int));
  transfer.SetBuffer(QORSimbufMain, static_cast<void*>(data.get()), nnz * sizeof(double));
  if (symmetric) transfer.SetBuffer(QORSimbufDiagonal, static_cast<void*>(diagonal.get()), rows * sizeof(double));
  transfer.ExecRead();
  transfer.RelinquishBuffers();
  // A drawer written from another base numbers its rows and columns from 1.
  if (rowP[0] == 1) {
    for (size_t r = 0; r <= rows; ++r) --rowP[r];
    for (size_t k = 0; k < nnz; ++k) --colI[k];
  }
  built.AdoptArrays(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), nnz);
  built.m_assemblyComplete = true;
  built.m_symFlag = symmetric ? QORMtxSparseMatrix::e_symmetric : QORMtxSparseMatrix::e_unknown;
  // The store checks the rows; the rest of the stored form is checked here, as for any file.
  std::string why;
  if (!built.CheckInvariants(&why)) {
    aio_cerr << "sparse drawer: " << why.c_str() << "\n";
    QORMTX_ASSERT(built.CheckInvariants());
  }
  mtx.Reset(0, 0);
  mtx.AdoptAssembled(built);
  mtx.SetDomain(rowSetID, colSetID);
}

void QORMtxSparseMatrix::Import(const QORSimDistributionID& id) {
  QORMtxSparseImExPorter porter;
  porter.Import(*this, id);
}

void QORMtxSparseMatrix::Export(const QORSimCSetID& rowSetID, const QORSimCSetID& colSetID,
                                const QORSimDistributionID& id) const {
  const QORMtxSparseImExPorter porter;
  porter.Export(*this, rowSetID, colSetID, id);
}

QORMtxSparseMatrix::QORMtxSparseMatrix(const QORSimDistributionID& id) {
  if (id.IsNull()) return;
  Import(id);
  if (m_diagonal) m_symFlag = e_symmetric;
}
