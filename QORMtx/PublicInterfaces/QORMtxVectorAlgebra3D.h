// QORMtxVectorAlgebra3D: static operations on three-component double vectors with fixed tolerances.
#pragma once

class QORMtxVectorAlgebra3D {
 public:
  /// Tolerance of the squared-length, unit-length and orthogonality tests.
  static constexpr double TOL = 1.11e-15;
  /// Smallest length that Normalize accepts (exclusive).
  static constexpr double TINY = 1.0e-36;

  /// \brief b = a.
  static void Copy(const double* a, double* b);
  /// \brief b = b + s·a.
  static void Daxpy(double s, const double* a, double* b);
  /// \brief a·b.
  static double Dot(const double* a, const double* b);
  /// \brief c = a × b; c may be neither a nor b.
  static void Cross(const double* a, const double* b, double* c);
  /// \brief |a| = √(a·a).
  static double Length(const double* a);
  /// \brief The signed volume a·(b × c); positive for a right-handed triple.
  static double Volume(const double* a, const double* b, const double* c);
  /// \brief b = a / |a|; b may be a. Precondition "norm > TINY" (the length exceeds 1e-36).
  static void Normalize(const double* a, double* b);

  /// \brief a·a < TOL: tests the squared length, so |a| up to about 3.3e-8 counts as zero.
  static bool IsZero(const double* a);
  /// \brief |a·a − 1| < TOL.
  static bool IsUnit(const double* a);
  /// \brief |a·b| < TOL.
  static bool AreOrthogonal(const double* a, const double* b);
  /// \brief a, b, c are unit, pairwise orthogonal and right-handed (b·(c × a) > 0).
  static bool IsBasis(const double* a, const double* b, const double* c);

  /// \brief The component indices ordered by absolute value (iMin, iMid, iMax); among equal magnitudes
  /// the lower index is taken as the smaller.
  static void MinMidMaxAbs(const double* a, int& iMin, int& iMid, int& iMax);

  /// \brief Right-handed orthonormal basis with e1 = a/|a|: e2 is built in the plane of the two largest
  /// components of e1 (orthogonal to it, zero in the smallest), e3 = e1 × e2.
  /// Precondition of Normalize on a.
  static void Basis(const double* a, double* e1, double* e2, double* e3);
  /// \brief Right-handed orthonormal basis with e1 = a/|a|, e2 the unit part of b orthogonal to e1 (one
  /// Gram–Schmidt step), e3 = e1 × e2. Preconditions of Normalize on a, b and the projected b.
  static void Basis(const double* a, const double* b, double* e1, double* e2, double* e3);
};
