// QORMtxReImMatrix: a complex matrix held as two real QORMtxMatrix parts, its real and its imaginary part.
#include "QORMtxReImMatrix.h"

#include <cstdio>
#include <string>

#include "QORBasFileOps.h"
#include "QORMtxArrayUtilities.h"
#include "QORMtxAssert.h"
#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxDocument.h"
#include "aio_ostream.h"

QORMtxReImMatrix::QORMtxReImMatrix(int numRows, int numCols, MtxType type) { Reset(numRows, numCols, type); }

QORMtxReImMatrix::QORMtxReImMatrix(const QORMtxMatrix& re, const QORMtxMatrix& im) { Reset(re, im); }

QORMtxReImMatrix::QORMtxReImMatrix(const QORMtxReImMatrix& rhs) { Reset(rhs); }

QORMtxReImMatrix::QORMtxReImMatrix(const QORMtxComplexMatrix& rhs) { Reset(rhs); }

QORMtxReImMatrix& QORMtxReImMatrix::operator=(const QORMtxReImMatrix& rhs) {
  Reset(rhs);
  return *this;
}

void QORMtxReImMatrix::Reset() {
  m_numRows = 0;
  m_numCols = 0;
  m_mtxType = UNKNOWN;
  m_re.Reset();
  m_im.Reset();
}

void QORMtxReImMatrix::Reset(int numRows, int numCols, MtxType type) {
  // The part kinds that go with each type, in enumerator order.
  static const QORMtxMatrix::MtxType kParts[5][2] = {{QORMtxMatrix::DIAG, QORMtxMatrix::DIAG},
                                                     {QORMtxMatrix::SYMM, QORMtxMatrix::SYMM},
                                                     {QORMtxMatrix::SKEW, QORMtxMatrix::SKEW},
                                                     {QORMtxMatrix::SYMM, QORMtxMatrix::SKEW},
                                                     {QORMtxMatrix::UNKNOWN, QORMtxMatrix::UNKNOWN}};
  QORMTX_ASSERT(numRows > 0 && numCols > 0);
  if (type == DIAG) QORMTX_ASSERT(numRows == numCols);
  if (type < DIAG || type > UNKNOWN) type = UNKNOWN;
  m_numRows = numRows;
  m_numCols = numCols;
  m_mtxType = type;
  m_re.Reset(numRows, numCols, kParts[type][0]);
  m_im.Reset(numRows, numCols, kParts[type][1]);
}

void QORMtxReImMatrix::Reset(const QORMtxMatrix& re, const QORMtxMatrix& im) {
  if (&re == &m_re && &im == &m_im) return;
  const int numRowsRe = re.NumberOfRows(), numColsRe = re.NumberOfColumns();
  const int numRowsIm = im.NumberOfRows(), numColsIm = im.NumberOfColumns();
  if (!!re && !!im) QORMTX_ASSERT(numRowsRe == numRowsIm && numColsRe == numColsIm);
  // Copy through temporaries: re and im may be this matrix's own parts in exchanged roles.
  QORMtxMatrix reCopy, imCopy;
  if (!!re) reCopy.Reset(re);
  if (!!im) imCopy.Reset(im);
  m_re.Reset();  // owning and empty, so that Swap exchanges the arrays
  m_im.Reset();
  m_re.Swap(reCopy);
  m_im.Swap(imCopy);
  m_numRows = !re ? numRowsIm : numRowsRe;
  m_numCols = !re ? numColsIm : numColsRe;
  if (!re && !im) m_numRows = m_numCols = 0;
  ResetType();
}

void QORMtxReImMatrix::Reset(const QORMtxReImMatrix& rhs) {
  if (&rhs == this) return;
  Reset(rhs.m_re, rhs.m_im);
}

void QORMtxReImMatrix::Reset(const QORMtxComplexMatrix& rhs) { rhs.ReIm(*this); }

void QORMtxReImMatrix::ResetType() {
  auto kind = [](const QORMtxMatrix& p) { return !p ? QORMtxMatrix::UNKNOWN : p.Type(); };
  const QORMtxMatrix::MtxType r = kind(m_re), i = kind(m_im);
  if (r == QORMtxMatrix::DIAG && i == QORMtxMatrix::DIAG)
    m_mtxType = DIAG;
  else if (r == QORMtxMatrix::SYMM && i == QORMtxMatrix::SYMM)
    m_mtxType = SYMM;
  else if (r == QORMtxMatrix::SYMM && i == QORMtxMatrix::SKEW)
    m_mtxType = SYMMSKEW;
  else if (r == QORMtxMatrix::SKEW && i == QORMtxMatrix::SKEW)
    m_mtxType = HERM;
  else
    m_mtxType = UNKNOWN;
}

void QORMtxReImMatrix::Multiply(const QORMtxComplex& z) {
  const double a = z.Re(), b = z.Im();
  if (b == 0.0) {  // a real factor keeps both part kinds
    m_re.Multiply(a);
    m_im.Multiply(a);
    return;
  }
  if (a == 0.0) {  // (R, I)·bi = (−b·I, b·R): scale, then exchange
    m_re.Multiply(b);
    m_im.Multiply(-b);
    m_re.Swap(m_im);
    ResetType();  // the part kinds moved with the parts
    return;
  }
  if (!m_re && !m_im) return;
  // Both parts take part in every pair, so an absent one becomes an explicit zero of the other's kind.
  if (!m_re) {
    m_re.Reset(m_numRows, m_numCols, m_im.Type());
    m_re = 0.0;
  }
  if (!m_im) {
    m_im.Reset(m_numRows, m_numCols, m_re.Type());
    m_im = 0.0;
  }
  if (m_re.IsDiagonal() != m_im.IsDiagonal()) {
    m_re.ConvertToFull();
    m_im.ConvertToFull();
  }
  ResetType();
  QORMtxArrayUtilities::ReImMultiply(m_re.NumberOfValues(), m_re.Values(), m_im.Values(), z.Get());
}

void QORMtxReImMatrix::Print(const char* fileName, int, double) const {
  static const char* const kNames[] = {"DIAG", "SYMM", "HERM", "UNKNOWN", "UNKNOWN"};
  FILE* file = fileName ? QORBasFileOps::Fopen(fileName, "w") : stderr;
  const bool opened = fileName && file;
  if (!file) file = stdout;
  aio_ostream out(file);
  {
    QORMtxDocument doc(cow_String(""), QORMtxReportEnum::TEXT, out);
    doc.Endl() << cow_String("***** QORMtxReImMatrix*****");
    doc.Endl() << cow_String("Number of rows   :" + std::to_string(m_numRows));
    doc.Endl() << cow_String("Number of columns:" + std::to_string(m_numCols));
    doc.Endl() << cow_String(std::string("Type            :") + kNames[m_mtxType]);
    doc.Endl().Endl() << cow_String("***** Real part *****");
    doc.Endl();
    m_re.Mtx2Document(doc, 9, 6, 0.0);
    doc.Endl() << cow_String("***** Imaginary part *****");
    doc.Endl();
    m_im.Mtx2Document(doc, 9, 6, 0.0);
  }
  out.flush();
  if (opened) std::fclose(file);
}
