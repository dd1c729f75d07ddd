// QORMtxComplex: a complex scalar that holds its own (re, im) pair or views a pair inside a larger array.
#pragma once

/// \brief A complex number operating on one pair of doubles (real first, imaginary second).
///
/// QORMtxComplex(re, im) holds the pair inline; QORMtxComplex(pair) views the caller's pair, so that every
/// operation reads and writes that pair: QORMtxComplex(M.Values(i, j)).Mul(0.0, 1.0) rotates entry (i, j) of a
/// complex matrix in place. Arithmetic is done by the qormtx_complex_* kernels, changes the pair in place and
/// returns the object. Nothing is ever freed.
///
/// Copies behave as handles: a copy of a viewing scalar views the same pair, a copy of an owning scalar owns a
/// copy of the value; assignment writes the other value into this pair (Set).
class QORMtxComplex {
 public:
  /// \brief Owns the pair (re, im).
  QORMtxComplex(double re = 0.0, double im = 0.0);
  /// \brief Views the caller's pair pair[0] + i·pair[1]; the pair must outlive the scalar.
  explicit QORMtxComplex(double* pair);
  QORMtxComplex(const QORMtxComplex& rhs);
  /// \brief Set(rhs): the value goes into this pair, which may be a matrix entry.
  QORMtxComplex& operator=(const QORMtxComplex& rhs) { return Set(rhs); }
  /// \brief Clears the pointer; nothing is freed.
  ~QORMtxComplex() { m_z = nullptr; }

  /// \brief this = this + z (componentwise).
  QORMtxComplex& Add(const QORMtxComplex& z);
  /// \brief this = this − z (componentwise).
  QORMtxComplex& Sub(const QORMtxComplex& z);
  /// \brief this = this·z = (a0·b0 − a1·b1, a1·b0 + a0·b1).
  QORMtxComplex& Mul(const QORMtxComplex& z);
  /// \brief this = this / z with d = b0² + b1², unscaled: ((a0·b0 + a1·b1)/d, (a1·b0 − a0·b1)/d).
  QORMtxComplex& Div(const QORMtxComplex& z);
  QORMtxComplex& Add(double re, double im);
  QORMtxComplex& Sub(double re, double im);
  QORMtxComplex& Mul(double re, double im);
  QORMtxComplex& Div(double re, double im);
  /// \brief this = conj(this): the sign of the imaginary part is flipped.
  QORMtxComplex& Con();
  /// \brief this = −this (both parts).
  QORMtxComplex& Neg();

  /// \brief The modulus √(re² + im²), with extended-precision squares so that no finite value overflows.
  double Abs() const;
  double Re() const { return m_z[0]; }
  double Im() const { return m_z[1]; }
  void Get(double& re, double& im) const;
  /// \brief The pair this scalar operates on.
  double* Get() { return m_z; }
  const double* Get() const { return m_z; }

  /// \brief Both parts from z (16 bytes copied).
  QORMtxComplex& Set(const QORMtxComplex& z) { return Set(z.m_z); }
  QORMtxComplex& Set(double re, double im);
  /// \brief Both parts from pair[0], pair[1] (16 bytes copied).
  QORMtxComplex& Set(const double* pair);

 private:
  double* m_z;  // the pair operated on: m_val or a caller's pair
  double m_val[2] = {0.0, 0.0};
};
