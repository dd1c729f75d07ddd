// QORMtxDenseMatrix products: streamed block-band products are not built yet; each entry stops the process.
#include "QORMtxDenseMatrix.h"
#include "QORMtxUtilities.h"

namespace {
[[noreturn]] void NotBuilt(const char* what) {
  QORMtxUtilities::ReportAndAbort(what, "QORMtx/QORMtxCore.m/src/QORMtxDenseMatrixProducts", __LINE__);
}
}  // namespace

void QORMtxDenseMatrix::Multiply(const double*, int, double*) const { NotBuilt("dense Multiply(x) not built"); }
void QORMtxDenseMatrix::Multiply(const QORMtxMatrix&, QORMtxMatrix&) const { NotBuilt("dense Multiply(B, C) not built"); }
void QORMtxDenseMatrix::Multiply(const QORMtxDenseMatrix*, double*) const { NotBuilt("dense Multiply(B*, C) not built"); }
void QORMtxDenseMatrix::Multiply(const QORMtxDenseMatrix&, QORMtxDenseMatrix&) const {
  NotBuilt("dense Multiply(dense, dense) not built");
}
void QORMtxDenseMatrix::Multiply(double, const QORMtxMatrix&, double, QORMtxDenseMatrix&) const {
  NotBuilt("dense Multiply(alpha, B, beta, C) not built");
}
void QORMtxDenseMatrix::MultiplyAssign(const QORMtxMatrix&) { NotBuilt("dense MultiplyAssign not built"); }
void QORMtxDenseMatrix::TransposeMultiply(const double*, int, double*, int) const {
  NotBuilt("dense TransposeMultiply(x) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const int*, const QORMtxMatrix&, QORMtxMatrix&, double, double) {
  NotBuilt("dense TransposeMultiply(permutation) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const QORMtxMatrix&, double*, int) const {
  NotBuilt("dense TransposeMultiply(B, C*) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const QORMtxMatrix&, QORMtxMatrix&, int) const {
  NotBuilt("dense TransposeMultiply(B, C) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix*, QORMtxDenseMatrix*, int) const {
  NotBuilt("dense TransposeMultiply(dense, dense) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix*, double*, int) const {
  NotBuilt("dense TransposeMultiply(dense, C*) not built");
}
void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix*, QORMtxMatrix&, int) const {
  NotBuilt("dense TransposeMultiply(dense, C) not built");
}
void QORMtxDenseMatrix::IndexedMultiply(const QORMtxMatrix&, QORMtxDenseMatrix&, const int*, const int*, int) const {
  NotBuilt("dense IndexedMultiply not built");
}
