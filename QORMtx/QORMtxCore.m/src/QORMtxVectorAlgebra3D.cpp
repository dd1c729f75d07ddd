// QORMtxVectorAlgebra3D: dot, cross, normalisation, tests and orthonormal bases of 3-vectors.
#include "QORMtxVectorAlgebra3D.h"

#include <cmath>

#include "QORMtxAssert.h"

void QORMtxVectorAlgebra3D::Copy(const double* a, double* b) {
  b[0] = a[0];
  b[1] = a[1];
  b[2] = a[2];
}

void QORMtxVectorAlgebra3D::Daxpy(double s, const double* a, double* b) {
  b[0] += s * a[0];
  b[1] += s * a[1];
  b[2] += s * a[2];
}

double QORMtxVectorAlgebra3D::Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void QORMtxVectorAlgebra3D::Cross(const double* a, const double* b, double* c) {
  c[0] = a[1] * b[2] - a[2] * b[1];
  c[1] = a[2] * b[0] - a[0] * b[2];
  c[2] = a[0] * b[1] - a[1] * b[0];
}

double QORMtxVectorAlgebra3D::Length(const double* a) { return std::sqrt(Dot(a, a)); }

double QORMtxVectorAlgebra3D::Volume(const double* a, const double* b, const double* c) {
  double bxc[3];
  Cross(b, c, bxc);
  return Dot(a, bxc);
}

void QORMtxVectorAlgebra3D::Normalize(const double* a, double* b) {
  const double norm = Length(a);
  QORMTX_ASSERT(norm > TINY);
  const double inv = 1.0 / norm;
  b[0] = a[0] * inv;
  b[1] = a[1] * inv;
  b[2] = a[2] * inv;
}

bool QORMtxVectorAlgebra3D::IsZero(const double* a) { return Dot(a, a) < TOL; }

bool QORMtxVectorAlgebra3D::IsUnit(const double* a) { return std::fabs(Dot(a, a) - 1.0) < TOL; }

bool QORMtxVectorAlgebra3D::AreOrthogonal(const double* a, const double* b) { return std::fabs(Dot(a, b)) < TOL; }

bool QORMtxVectorAlgebra3D::IsBasis(const double* a, const double* b, const double* c) {
  return IsUnit(a) && IsUnit(b) && IsUnit(c) && AreOrthogonal(a, b) && AreOrthogonal(b, c) && AreOrthogonal(c, a) &&
         Volume(b, c, a) > 0.0;
}

void QORMtxVectorAlgebra3D::MinMidMaxAbs(const double* a, int& iMin, int& iMid, int& iMax) {
  const double x = std::fabs(a[0]), y = std::fabs(a[1]), z = std::fabs(a[2]);
  if (y >= x && z >= x) {
    iMin = 0;
    if (z >= y) {
      iMid = 1;
      iMax = 2;
    } else {
      iMid = 2;
      iMax = 1;
    }
  } else if (x >= y && z >= y) {
    iMin = 1;
    if (z >= x) {
      iMid = 0;
      iMax = 2;
    } else {
      iMid = 2;
      iMax = 0;
    }
  } else {
    iMin = 2;
    if (y >= x) {
      iMid = 0;
      iMax = 1;
    } else {
      iMid = 1;
      iMax = 0;
    }
  }
}

void QORMtxVectorAlgebra3D::Basis(const double* a, double* e1, double* e2, double* e3) {
  Normalize(a, e1);
  // Rotating the two largest components a quarter turn and dropping the smallest gives a vector
  // orthogonal to e1 that is never close to zero (its length is at least 1/sqrt(3)).
  int iMin, iMid, iMax;
  MinMidMaxAbs(e1, iMin, iMid, iMax);
  e2[iMin] = 0.0;
  e2[iMid] = e1[iMax];
  e2[iMax] = -e1[iMid];
  Normalize(e2, e2);
  Cross(e1, e2, e3);
}

void QORMtxVectorAlgebra3D::Basis(const double* a, const double* b, double* e1, double* e2, double* e3) {
  Normalize(a, e1);
  Normalize(b, e2);
  Daxpy(-Dot(e2, e1), e1, e2);
  Normalize(e2, e2);
  Cross(e1, e2, e3);
}
