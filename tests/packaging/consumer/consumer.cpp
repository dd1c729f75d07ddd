// A client of the installed library: starts it, formats a number, multiplies a sparse matrix with a matrix in
// an in-memory database, and stops it.
#include <cstdio>
#include <cstring>

#include "QORMtxCoreModule.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

int main() {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORMtxCoreModule_initializeC();
  char buf[32];
  bool ok = std::strcmp(QORMtxUtilities::DoubleToGfmt(12.0, buf, 0.0, 6), "12.0") == 0;

  // [2 1; 0 3]·[1 2]ᵀ = [4 6]ᵀ through the store.
  QORMtxSparseMatrix A(2, 2);
  A.AddData(0, 0, 2.0, false);
  A.AddData(0, 1, 1.0, false);
  A.AddData(1, 1, 3.0, false);
  A.EndAssembly(false);
  {
    QORSimDatabase db;
    db.CreateInMemory("consumer");
    const QORSimCSetID rows = QORSimCollection(QORSimContext(db.ContextID()).CreateCollection(2)).BiggestCSetID();
    const QORSimCSetID one = QORSimCollection(QORSimContext(db.ContextID()).CreateCollection(1)).BiggestCSetID();
    QORMtxDenseMatrix v(QORMtxUtilities::Create2DDistribution(rows, one, -1, -1));
    QORMtxDenseMatrix u(QORMtxUtilities::Create2DDistribution(rows, one, -1, -1));
    const double x[2] = {1.0, 2.0};
    v.SetValues(0, 1, 0, 0, x);
    A.MultiplyDense(v, u, false);
    double y[2] = {0.0, 0.0};
    u.GetValues(0, 1, 0, 0, y);
    ok = ok && y[0] == 4.0 && y[1] == 6.0;
    db.Close();
  }

  QORMtxCoreModule_finalizeC();
  QORMtxCoreModule_finalize(tally);
  std::printf("consumer: %s\n", ok ? "ok" : "wrong result");
  return ok ? 0 : 1;
}
