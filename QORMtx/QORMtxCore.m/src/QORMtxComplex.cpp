// QORMtxComplex: a complex scalar that holds its own (re, im) pair or views a pair inside a larger array.
#include "QORMtxComplex.h"

#include <cstring>

#include "QORMtxCoreModuleC.h"

QORMtxComplex::QORMtxComplex(double re, double im) : m_z(m_val) { qormtx_complex_set(&re, &im, m_z); }

QORMtxComplex::QORMtxComplex(double* pair) : m_z(pair) {}

QORMtxComplex::QORMtxComplex(const QORMtxComplex& rhs) : m_z(m_val) {
  // A view stays a view of the same pair; an owned value must not point into rhs's inline pair.
  if (rhs.m_z == rhs.m_val)
    Set(rhs);
  else
    m_z = rhs.m_z;
}

QORMtxComplex& QORMtxComplex::Add(const QORMtxComplex& z) {
  qormtx_complex_add(m_z, z.m_z, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Sub(const QORMtxComplex& z) {
  qormtx_complex_sub(m_z, z.m_z, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Mul(const QORMtxComplex& z) {
  qormtx_complex_mul(m_z, z.m_z, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Div(const QORMtxComplex& z) {
  qormtx_complex_div(m_z, z.m_z, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Add(double re, double im) { return Add(QORMtxComplex(re, im)); }
QORMtxComplex& QORMtxComplex::Sub(double re, double im) { return Sub(QORMtxComplex(re, im)); }
QORMtxComplex& QORMtxComplex::Mul(double re, double im) { return Mul(QORMtxComplex(re, im)); }
QORMtxComplex& QORMtxComplex::Div(double re, double im) { return Div(QORMtxComplex(re, im)); }

QORMtxComplex& QORMtxComplex::Con() {
  qormtx_complex_con(m_z, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Neg() {
  m_z[0] = -m_z[0];
  m_z[1] = -m_z[1];
  return *this;
}

double QORMtxComplex::Abs() const {
  double r;
  qormtx_complex_abs(m_z, &r);
  return r;
}

void QORMtxComplex::Get(double& re, double& im) const { qormtx_complex_get(&re, &im, m_z); }

QORMtxComplex& QORMtxComplex::Set(double re, double im) {
  qormtx_complex_set(&re, &im, m_z);
  return *this;
}

QORMtxComplex& QORMtxComplex::Set(const double* pair) {
  std::memmove(m_z, pair, 2 * sizeof(double));
  return *this;
}
