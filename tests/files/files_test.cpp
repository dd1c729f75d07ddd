// Matrix files: golden bytes of every export format, round trips (files and data-store drawers), the Fortran record
// layout, damaged files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../sparse/sparse_test_util.h"
#include "QORFsmSystemDofDefinition.h"
#include "QORFtnRecordFile.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseImExPorter.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "qormtx_death.h"

namespace {

namespace fs = std::filesystem;
using sparse_test::Peer;
using sparse_test::RawDense;

// ---- Shared vocabulary: two small matrices, hand-laid bytes, a scratch directory ----

constexpr int B = 131072;

// S: symmetric storage, diagonal (1, 2, 3), S(1,0) = 5, S(2,1) = -0.5.
void MakeS(QORMtxSparseMatrix& S) {
  S.Reset(3, 3);
  for (int i = 0; i < 3; ++i) S.AddData(i, i, i + 1.0, false);
  S.AddData(1, 0, 5.0, false);
  S.AddData(2, 1, -0.5, false);
  S.EndAssembly(true);
}
// U: unsymmetric 2 x 3, U(0,0) = 1, U(0,2) = -2, U(1,1) = 0.25, U(1,2) = 3.
void MakeU(QORMtxSparseMatrix& U) {
  U.Reset(2, 3);
  U.AddData(0, 0, 1.0, false);
  U.AddData(0, 2, -2.0, false);
  U.AddData(1, 1, 0.25, false);
  U.AddData(1, 2, 3.0, false);
  U.EndAssembly(false);
}
// The first nnz strictly lower positions of an n x n matrix in row order, values 1, 2, ...; diagonal 0.5.
void MakeLower(QORMtxSparseMatrix& A, int n, int nnz) {
  A.Reset(n, n);
  for (int i = 0; i < n; ++i) A.AddData(i, i, 0.5, false);
  int k = 0;
  for (int r = 1; r < n && k < nnz; ++r)
    for (int c = 0; c < r && k < nnz; ++c) A.AddData(r, c, ++k, false);
  A.EndAssembly(true);
}

struct Bytes {
  std::string s;
  Bytes& I(std::initializer_list<int> v) {
    for (int x : v) s.append(reinterpret_cast<const char*>(&x), 4);
    return *this;
  }
  Bytes& D(std::initializer_list<double> v) {
    for (double x : v) s.append(reinterpret_cast<const char*>(&x), 8);
    return *this;
  }
  Bytes& Z(size_t n) { return s.append(n, '\0'), *this; }
};

// A Fortran record as gfortran writes one under 2 GB: length, payload, length.
std::string Record(const std::string& payload) {
  return Bytes().I({int(payload.size())}).s + payload + Bytes().I({int(payload.size())}).s;
}

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream o;
  o << f.rdbuf();
  return o.str();
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qormtx_files_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::string Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string dir;
};

QORFsmSystemDofDefinition Dofs(int n) {
  QORFsmSystemDofDefinition d;
  const int node[] = {7, 7, 9}, dof[] = {1, 2, 3};
  for (int s = 0; s < n; ++s) d.AddNodeDof(node[s], dof[s]);
  return d;
}

// ---- Golden bytes of every export format ----

TEST_F(Files, ExportsMatchHandWrittenGoldenBytes) {
  const struct {
    char matrix;
    int format;
    std::string golden;
  } cases[] = {
      {'S', 3,
       "1 1 1.000000000000000e+00\n2 2 2.000000000000000e+00\n3 3 3.000000000000000e+00\n"
       "2 1 5.000000000000000e+00\n1 2 5.000000000000000e+00\n"
       "3 2 -5.000000000000000e-01\n2 3 -5.000000000000000e-01\n"},
      {'U', 3,
       "1 1 1.000000000000000e+00\n1 3 -2.000000000000000e+00\n2 2 2.500000000000000e-01\n"
       "2 3 3.000000000000000e+00\n"},
      {'S', 4, "7,2,7,1,5.000000000000000e+00\n9,3,7,2,-5.000000000000000e-01\n"},
      {'U', 4,
       "7,1,0,0,1.000000000000000e+00\n7,1,2,0,-2.000000000000000e+00\n7,2,1,0,2.500000000000000e-01\n"
       "7,2,2,0,3.000000000000000e+00\n"},
      {'S', 5,
       "0,0, 1.000000000000000e+00\n1,1, 2.000000000000000e+00\n1,0, 5.000000000000000e+00\n"
       "2,2, 3.000000000000000e+00\n2,1, -5.000000000000000e-01\n"},
      {'U', 5,
       "0,0, 1.000000000000000e+00\n0,2, -2.000000000000000e+00\n1,1, 2.500000000000000e-01\n"
       "1,2, 3.000000000000000e+00\n"},
      {'S', 6,
       Bytes().I({3, 2, 1, 0, 17, 1}).I({0, 0, 1, 2}).D({1, 2, 3}).I({0, 1}).Z(4 * (B - 2)).D({5, -0.5})
           .Z(8 * (B - 2)).I({3}).I({0, 0, 1, 2}).I({0, 1}).I({1, 1, 1}).I({0, 1, 2}).s},
      {'S', 7, Bytes().I({3, 3, 3, 3}).D({0, 5, 0, 0, 0, -0.5, 0, 0, 0}).s},
      {'U', 7, Bytes().I({2, 3, 2, 3}).D({1, 0, 0, 0.25, -2, 3}).s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.matrix) + " format " + std::to_string(c.format));
    QORMtxSparseMatrix A;
    c.matrix == 'S' ? MakeS(A) : MakeU(A);
    const QORFsmSystemDofDefinition dofs = Dofs(A.NumberOfRows());
    // A longer old file must not leave bytes behind the new one.
    Put("out", std::string(3 * B * 12, 'x'));
    A.Export(Path("out").c_str(), c.format, &dofs);
    EXPECT_EQ(Slurp(Path("out")), c.golden);
  }
}

// ---- Round trips and the import-only formats, against the dense reference ----

TEST_F(Files, EveryReadableFormatGivesTheMatrixItHolds) {
  QORMtxSparseMatrix S, U;
  MakeS(S);
  MakeU(U);
  const sparse_test::Dense fullS = RawDense(S), fullU = RawDense(U);
  sparse_test::Dense lowerS(3, 3);  // what code 7 keeps of symmetric storage: the stored lower entries
  lowerS(1, 0) = 5.0;
  lowerS(2, 1) = -0.5;
  sparse_test::Dense squareU(3, 3);  // code 1 unsymmetric: lower values at (1,0), (2,0); upper at (0,1), (0,2)
  squareU(0, 0) = 1, squareU(1, 1) = 2, squareU(2, 2) = 3;
  squareU(1, 0) = 4, squareU(2, 0) = 6, squareU(0, 1) = -4, squareU(0, 2) = -6;

  // Import-only files, laid out by hand (code 1 with 4-item blocks, k = 2) or as Fortran records (code 0).
  Put("empty.ss", Bytes().I({0, 0, 0, 1, 0, 0}).I({0}).s);  // no rows, unsymmetric flag: still assembled
  const sparse_test::Dense none(0, 0);
  Put("sym.ss", Bytes().I({3, 2, 1, 0, 2, 0}).I({0, 0, 1, 2}).D({1, 2, 3}).I({0, 1, 0, 0}).D({5, -0.5, 0, 0}).s);
  Put("uns.ss", Bytes().I({3, 2, 1, 1, 2, 0}).I({0, 2, 2, 2}).D({1, 2, 3}).I({1, 2, 0, 0}).D({4, 6, 0, 0})
                    .D({-4, -6, 0, 0}).s);
  std::string ams = Record(Bytes().I({3}).s) + Record(Bytes().I({1, 1}).D({1}).s) +
                    Record(Bytes().I({2, 2, 1}).D({2, 5}).s) + Record(Bytes().I({2, 3, 2}).D({3, -0.5}).s);
  Put("c++.ams", ams);
  S.Export(Path("s.txt").c_str(), 3, nullptr);
  U.Export(Path("u.txt").c_str(), 3, nullptr);
  S.Export(Path("s.dmp").c_str(), 6, nullptr);
  S.Export(Path("s.dense").c_str(), 7, nullptr);
  U.Export(Path("u.dense").c_str(), 7, nullptr);

  const struct {
    std::string file;
    int format;
    const sparse_test::Dense* expected;
    bool symmetricStorage;
  } cases[] = {
      {"c++.ams", 0, &fullS, true},    {"sym.ss", 1, &fullS, true},  {"uns.ss", 1, &squareU, false},
      {"s.txt", 2, &fullS, false},     {"s.txt", 3, &fullS, false},  {"u.txt", 3, &fullU, false},
      {"s.dmp", 6, &fullS, true},      {"empty.ss", 1, &none, false},      {"s.dense", 7, &lowerS, false}, {"u.dense", 7, &fullU, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " as format " + std::to_string(c.format));
    QORMtxSparseMatrix A(9, 9);
    std::string error;
    ASSERT_TRUE(QORMtxSparseImExPorter::TryImport(A, Path(c.file).c_str(), c.format, &error)) << error;
    EXPECT_TRUE(A.IsAssembled() && A.CheckInvariants());
    EXPECT_EQ(A.Diagonal() != nullptr, c.symmetricStorage);
    EXPECT_EQ(RawDense(A).a, c.expected->a);
    EXPECT_EQ(A.NumberOfRows(), c.expected->rows);
    A.Import(Path(c.file).c_str(), c.format);  // the fatal entry reads the same
    EXPECT_EQ(RawDense(A).a, c.expected->a);
  }
}

TEST_F(Files, EntriesImportStopsAtTheFirstLineThatIsNotATripleAndKeepsOnlyTheRowsMet) {
  // A 5-row matrix cut after row 4: the shape follows the largest indices met; duplicates are summed.
  Put("cut", "1 1 1.5\n4 2 2.0\n4 2 0.5\n3 3 -1\nend of data\n5 5 9.0\n");
  QORMtxSparseMatrix A;
  A.Import(Path("cut").c_str(), 3);
  sparse_test::Dense expected(4, 3);
  expected(0, 0) = 1.5, expected(3, 1) = 2.5, expected(2, 2) = -1;
  EXPECT_EQ(RawDense(A).a, expected.a);
  EXPECT_EQ(Peer::SymFlag(A), 0);
}

TEST_F(Files, BlockedSparseFillsBlocksExactlyAndPadsOnlyTheLast) {
  for (int nnz : {B, B + 1}) {
    SCOPED_TRACE(nnz);
    const int n = 520;  // 134940 lower positions
    QORMtxSparseMatrix A, back;
    MakeLower(A, n, nnz);
    A.Export(Path("big").c_str(), 6, nullptr);
    const std::string bytes = Slurp(Path("big"));
    const int blocks = nnz == B ? 1 : 2;
    const size_t body = 24 + 4 * (n + 1) + 8 * n, trailer = 4 + 4 * (n + 1) + 4 * size_t(nnz) + 8 * n;
    ASSERT_EQ(bytes.size(), body + size_t(blocks) * B * 12 + trailer);
    int header[3];
    std::memcpy(header, bytes.data(), sizeof header);
    EXPECT_EQ(header[2], blocks);
    if (blocks == 2) {  // second block: one index, 131071 zero ints, one value, 131071 zero doubles
      const char* second = bytes.data() + body + 12 * size_t(B);
      double last;
      std::memcpy(&last, second + 4 * size_t(B), 8);
      EXPECT_EQ(last, double(nnz));
      EXPECT_EQ(std::string(second + 4, 4 * (B - 1)), std::string(4 * (B - 1), '\0'));
      EXPECT_EQ(std::string(second + 4 * size_t(B) + 8, 8 * (B - 1)), std::string(8 * (B - 1), '\0'));
    }
    back.Import(Path("big").c_str(), 6);
    EXPECT_EQ(back.NumberOfNonzeros(), nnz);
    EXPECT_EQ(RawDense(back).a, RawDense(A).a);
  }
}

TEST_F(Files, DenseImportCutsAtOneEMinusSixteenAbsolute) {
  Put("d", Bytes().I({2, 2, 2, 2}).D({1e-17, -1e-15, -1e-16, 2.0}).s);
  QORMtxSparseMatrix A;
  A.Import(Path("d").c_str(), 7);
  sparse_test::Dense expected(2, 2);
  expected(1, 0) = -1e-15, expected(1, 1) = 2.0;
  EXPECT_EQ(RawDense(A).a, expected.a);
  EXPECT_EQ(A.NumberOfNonzeros(), 2);
}

// ---- Data-store drawers: written, kept across close and reopen, read back by Import and by the constructor ----

QORSimCSetID Whole(const QORSimCollectionID& c) { return QORSimCollection(c).BiggestCSetID(); }

TEST_F(Files, DrawersRoundTripAcrossReopenWithTheirDomain) {
  QORMtxSparseMatrix S, U(2, 3);  // U: unsymmetric with an empty row
  MakeS(S);
  U.AddData(0, 0, 1.0, false);
  U.AddData(0, 2, -2.0, false);
  U.EndAssembly(false);
  const std::string path = Path("drawers.sim");
  {
    QORSimDatabase db;
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    for (const QORMtxSparseMatrix* A : {&S, &U}) {
      const QORSimCollectionID rows = ctx.CreateCollection(A->NumberOfRows()), cols = ctx.CreateCollection(3);
      const QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{rows, cols}, QORSimRangeType(QORSimDoubleKey));
      A->Export(Whole(rows), Whole(cols), id);
    }
    db.Close();
  }
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  const QORSimArray<QORSimDistributionID> dists = QORSimContext(db.ContextID()).Distributions();
  ASSERT_EQ(dists.Size(), 2);
  for (int k = 0; k < 2; ++k) {
    const QORMtxSparseMatrix& A = k == 0 ? S : U;
    QORMtxSparseMatrix fromCtor(dists[k]), imported(5, 5);
    imported.Import(dists[k]);
    for (const QORMtxSparseMatrix* B : {&fromCtor, &imported}) {
      SCOPED_TRACE(k);
      EXPECT_EQ(B->Diagonal() != nullptr, k == 0);
      EXPECT_TRUE(B->CheckInvariants());
      EXPECT_EQ(RawDense(*B).a, RawDense(A).a);
      EXPECT_EQ(QORSimCSet(B->RowCSetID()).Size(), A.NumberOfRows());
      EXPECT_EQ(QORSimCSet(B->ColumnCSetID()).Size(), 3);
    }
    EXPECT_EQ(Peer::SymFlag(fromCtor), k == 0 ? 1 : 0);
  }
  EXPECT_TRUE(QORMtxSparseMatrix(QORSimDistributionID()).IsNull());
  db.Close();
  // A row set of another size is refused; a second export into the same distribution is accepted.
  db.Create(path.c_str());
  QORSimContext ctx(db.ContextID());
  const QORSimCollectionID three = ctx.CreateCollection(3), two = ctx.CreateCollection(2),
                           cols = ctx.CreateCollection(3);
  const QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{three, cols}, QORSimRangeType(QORSimDoubleKey));
  EXPECT_QORMTX_ASSERTION(S.Export(Whole(two), Whole(cols), id), "QORSimCSet(rowSetID).Size() == numRows");
  S.Export(Whole(three), Whole(cols), id);
  S.Export(Whole(three), Whole(cols), id);
  QORMtxSparseMatrix A;
  EXPECT_QORMTX_ASSERTION(A.Import(id), "distribution.NumDrawers() == 1");
}

// ---- Fatal texts ----

TEST_F(Files, FatalTextsAreTheFormatsOwn) {
  QORMtxSparseMatrix S, U, A;
  MakeS(S);
  MakeU(U);
  const std::string none = Path("missing");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 8), "!\"QORMtxSparseImExPorter::Import: unsupported format\"");
  EXPECT_QORMTX_ASSERTION(S.Export(none.c_str(), 8), "!\"QORMtxSparseImExPorter::Export: unsupported format\"");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 4), "!\"QORMtxSparseImExPorter::Import: unsupported format\"");
  EXPECT_QORMTX_ASSERTION(S.Export(none.c_str(), 1), "!\"QORMtxSparseImExPorter::Export: unsupported format\"");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 2), "fin && \"QORMtxSparseImExPorter::ImportEntries: failed to open file\"");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 1),
                          "opFd != -1 && \"QORMtxSparseImExPorter::ImportSolverSparse: failed to open file\"");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 6),
                          "fin != -1 && \"QORMtxSparseImExPorter::ImportDmpSolverSparse: failed to open file\"");
  EXPECT_QORMTX_ASSERTION(A.Import(none.c_str(), 7),
                          "fin != -1 && \"QORMtxSparseImExPorter::ImportDmpSolverDense: failed to open file\"");
  EXPECT_QORMTX_ASSERTION(U.Export(Path("u").c_str(), 6),
                          "mtx.m_symFlag == QORMtxSparseMatrix::e_symmetric && "
                          "\"QORMtxSparseImExPorter::ExportDmpSolverSparse: unsymmetric not supported\"");
  const QORFsmSystemDofDefinition two = Dofs(2);
  EXPECT_QORMTX_ASSERTION(S.Export(Path("m").c_str(), 4, &two), "numDofs == mtx.m_numRows");
  QORMtxSparseMatrix collecting(2, 2);
  EXPECT_QORMTX_ASSERTION(collecting.Export(Path("c").c_str(), 3), "mtx.m_assemblyComplete");
  const std::string nnz0 = Put("nnz0", Bytes().I({1, 0, 1, 0, 17, 1}).I({0, 0}).D({1}).s);
  EXPECT_QORMTX_ASSERTION(A.Import(nnz0.c_str(), 6), "header[2] == numBlocks");
  EXPECT_QORMTX_ASSERTION(A.Import(Put("uns", Bytes().I({1, 1, 1, 1, 17, 1}).s).c_str(), 6), "unsymmFlag == 0");
  EXPECT_QORMTX_ASSERTION(A.Import(Put("r", Bytes().I({2, 2, 3, 2}).s).c_str(), 7), "mtx.m_numRows == numRowsInBlock");
  EXPECT_QORMTX_ASSERTION(A.Import(Put("c", Bytes().I({2, 2, 2, 1}).s).c_str(), 7), "mtx.m_numCols == numColsInBlock");
}

// ---- Damaged files: a message naming the file and the fault, the matrix untouched ----

TEST_F(Files, DamagedFilesAreRefusedWithAMessage) {
  const std::string rec1 = Record(Bytes().I({1}).s), rec2 = Record(Bytes().I({2}).s);
  const struct {
    int format;
    std::string bytes, message;
  } cases[] = {
      {1, "", "no 24-byte header"},
      {1, Bytes().I({-1, 0, 0, 0, 17, 0}).s, "out of range"},
      {1, Bytes().I({3, 2, 1, 0, 31, 0}).s, "out of range"},
      {1, Bytes().I({3, 2, 1, 0, 2, 0}).I({0, 0, 1, 2}).s, "truncated"},
      {1, Bytes().I({3, 2, 0, 0, 2, 0}).s, "cannot hold"},
      {1, Bytes().I({2, 1, 1, 1, 0, 0}).I({0, 1, 1}).D({1, 1}).I({7}).D({1}).D({1}).s, "row index 7"},
      {6, Bytes().I({2000000000, 2000000000, 15259, 0, 17, 1}).s, "truncated"},
      {6, Bytes().I({2, -5, 1, 0, 17, 1}).s, "out of range"},
      {6, Bytes().I({2, 1, 1, 0, 17, 1}).I({0, 1, 0}).D({1, 1}).I({0}).Z(4 * (B - 1)).D({1}).s, "row start 2"},
      {6, Bytes().I({2, 1, 1, 0, 17, 1}).I({0, 0, 1}).D({1, 1}).I({2}).Z(4 * (B - 1)).D({1}).s, "column index 2"},
      {6, Bytes().I({2, 1, 1, 0, 17, 1}).I({0, 0, 1}).D({1, 1}).I({1}).Z(4 * (B - 1)).D({1}).s, "symmetric sparse"},
      {7, Bytes().I({100000, 100000, 100000, 100000}).s, "truncated"},
      {7, Bytes().I({-1, 2, -1, 2}).s, "out of range"},
      {7, Bytes().I({788531712, 0, 788531712, 0}).s, "an empty 788531712 x 0 block"},
      {3, "1 1 1.0\n0 2 1.0\n", "entry 2: index (0, 2)"},
      {3, "99999999999 1 1.0\n", "outside 1..2147483646"},
      {0, "", "empty file"},
      {0, Record(Bytes().I({1000000}).s), "1000000 rows cannot be held"},
      {0, rec1 + Record(Bytes().I({2, 1}).D({1}).s), "record 2 (row 1): entry count 2 outside 1..1"},
      {0, rec1 + Record(Bytes().I({1, 1}).D({1}).I({0}).s), "record 2 (row 1): 20 bytes do not hold 1"},
      {0, rec1 + Record(Bytes().I({1, 2}).D({1}).s), "column 2 outside 1..1"},
      {0, rec2 + Record(Bytes().I({1, 2}).D({1}).s) + Record(Bytes().I({1, 2}).D({1}).s), "not the diagonal"},
      {0, rec1 + Bytes().I({16, 1, 1}).D({1}).I({12}).s, "record 2: record markers disagree: leading 16, trailing 12"},
      {0, rec1 + Bytes().I({20, 1, 1}).D({1}).I({20}).s, "record 2: truncated"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + ": " + c.message);
    const std::string path = Put("bad", c.bytes);
    QORMtxSparseMatrix A;
    MakeU(A);
    std::string error;
    EXPECT_FALSE(QORMtxSparseImExPorter::TryImport(A, path.c_str(), c.format, &error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(A.NumberOfRows(), 2);
    EXPECT_EQ(A.NumberOfNonzeros(), 4);
  }
  QORMtxSparseMatrix A;
  std::string error;
  EXPECT_FALSE(QORMtxSparseImExPorter::TryImport(A, Path("x").c_str(), 8, &error));
  EXPECT_NE(error.find("format code 8 cannot be read"), std::string::npos);
  // The fatal entry prints the same line before the assertion report.
  EXPECT_DEATH(A.Import(Put("bad", Bytes().I({1, 1, 1, 1}).s).c_str(), 1), "bad: truncated: no 24-byte header");
}

// ---- Fortran unformatted records ----

TEST_F(Files, RecordsRoundTripThroughSubrecordsAndMatchTheGfortranLayout) {
  const std::vector<size_t> sizes = {0, 4, 20, 80, 17};
  std::vector<std::string> payloads;
  for (size_t n : sizes) {
    std::string p(n, '\0');
    for (size_t i = 0; i < n; ++i) p[i] = char(i * 7 + n);
    payloads.push_back(p);
  }
  // gfortran's documented layout of 20 squares with 16-byte subrecords: -16 ... 16, -16 ... -16, ..., 16 ... -16.
  Bytes squares;
  for (int i = 1; i <= 20; ++i) squares.I({i * i});
  Bytes layout;
  for (int s = 0; s < 5; ++s) layout.I({s < 4 ? -16 : 16}).s += squares.s.substr(16 * s, 16), layout.I({s ? -16 : 16});
  for (size_t limit : {size_t(16), size_t(5), QORFtnRecordWriter::kMaxSubrecord}) {
    SCOPED_TRACE(limit);
    QORFtnRecordWriter w(limit);
    std::string error;
    ASSERT_TRUE(w.Open(Path("rec").c_str(), &error)) << error;
    for (const auto& p : payloads) ASSERT_TRUE(w.Write(p.data(), p.size(), &error)) << error;
    w.Write(squares.s.data(), 80, &error);
    ASSERT_TRUE(w.Close());
    if (limit == 16) {
      EXPECT_NE(Slurp(Path("rec")).find(layout.s), std::string::npos);
    }
    QORFtnRecordReader r;
    ASSERT_TRUE(r.Open(Path("rec").c_str(), &error)) << error;
    std::vector<char> got;
    for (const auto& p : payloads) {
      ASSERT_EQ(r.Next(got, &error), QORFtnRecordReader::RECORD) << error;
      EXPECT_EQ(std::string(got.begin(), got.end()), p);
    }
    ASSERT_EQ(r.Next(got, &error), QORFtnRecordReader::RECORD);
    EXPECT_EQ(r.Next(got, &error), QORFtnRecordReader::END);
  }
  // A first subrecord whose trailing marker claims a predecessor.
  Put("bad", Bytes().I({-4, 1, -4}).I({4, 2, -4}).s);
  QORFtnRecordReader r;
  std::string error;
  std::vector<char> got;
  ASSERT_TRUE(r.Open(Path("bad").c_str(), &error));
  EXPECT_EQ(r.Next(got, &error), QORFtnRecordReader::FAILED);
  EXPECT_EQ(error, Path("bad") + ": record 1: record markers disagree: leading -4, trailing -4");
}

TEST_F(Files, GfortranWrittenFilesReadAsTheCppWrittenOnes) {
#ifndef QORMTX_FORTRAN_FIXTURES_WRITER
  GTEST_SKIP() << "no Fortran compiler in this build";
#else
  ASSERT_EQ(std::system((std::string(QORMTX_FORTRAN_FIXTURES_WRITER) + " " + dir).c_str()), 0);
  QORFtnRecordReader r;
  std::string error;
  std::vector<char> got;
  ASSERT_TRUE(r.Open(Path("records.dat").c_str(), &error)) << error;
  const std::vector<std::string> expected = {
      "", Bytes().I({7}).s, Bytes().I({1, 2, 3, 4, 5}).s,
      Bytes().I({1, 4, 9, 16, 25, 36, 49, 64, 81, 100, 121, 144, 169, 196, 225, 256, 289, 324, 361, 400}).s};
  for (const auto& e : expected) {
    ASSERT_EQ(r.Next(got, &error), QORFtnRecordReader::RECORD) << error;
    EXPECT_EQ(std::string(got.begin(), got.end()), e);
  }
  EXPECT_EQ(r.Next(got, &error), QORFtnRecordReader::END);
  QORMtxSparseMatrix S, A;
  MakeS(S);
  A.Import(Path("ams.dat").c_str(), 0);
  EXPECT_TRUE(A.Diagonal() != nullptr);
  EXPECT_EQ(RawDense(A).a, RawDense(S).a);
  // The unmangled reader, as a Fortran caller drives it (blank-padded name, hidden length).
  int n = 0, mode = 0, count = 0, idx[3];
  double vals[3];
  const std::string name = Path("ams.dat") + "    ";
  qormtxreadamsmatrix(&n, &mode, &count, idx, vals, name.c_str(), name.size());
  mode = 2;
  for (int row = 0; row < n; ++row) qormtxreadamsmatrix(&n, &mode, &count, idx, vals, name.c_str(), name.size());
  mode = 1;
  qormtxreadamsmatrix(&n, &mode, &count, idx, vals, name.c_str(), name.size());
  EXPECT_EQ(n, 3);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(idx[1], 2);
  EXPECT_EQ(vals[1], -0.5);
#endif
}

// ---- Dense text of QORMtxUtilities ----

TEST_F(Files, DenseTextAppendsWithSeparatorsAndWarnsOfAMissingSizingLine) {
  double values[] = {1.0, -2.5, 0.0, 4.0};  // column-major 2 x 2
  QORMtxMatrix A(2, 2, values);
  const std::string path = Path("dense.txt");
  QORMtxUtilities::Export(A, path.c_str(), "first");
  QORMtxUtilities::Export(A, path.c_str(), nullptr);
  const std::string block =
      "       1        1        1.0000000000000000e+00\n       1        2        0.0000000000000000e+00\n"
      "       2        1       -2.5000000000000000e+00\n       2        2        4.0000000000000000e+00\n"
      "%----------------------------------------------------------\n";
  EXPECT_EQ(Slurp(path), "% first\n" + block + block);

  testing::internal::CaptureStderr();
  std::unique_ptr<QORMtxMatrix> back(QORMtxUtilities::Import(path.c_str()));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("*** Warning: sizing line is probably missing from " + path +
                                                        ": size of matrix = 1x1\n"),
            std::string::npos);

  Put("sized", "% comment\n%" + std::string(300, '-') + "\n2 3\n1 3 7.5\n2 1 -1\n");
  back.reset(QORMtxUtilities::Import(Path("sized").c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->NumberOfRows(), 2);
  EXPECT_EQ(back->NumberOfColumns(), 3);
  EXPECT_EQ(back->value(0, 2), 7.5);
  EXPECT_EQ(back->value(1, 0), -1.0);
  EXPECT_EQ(back->value(1, 1), 0.0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(QORMtxUtilities::Import(Path("none").c_str()), nullptr);
  QORMtxUtilities::Export(A, (dir + "/no/such/dir").c_str(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** Error: cannot open file " + Path("none") + ": No such file or directory\n*** Error: cannot open file " +
                dir + "/no/such/dir: No such file or directory\n");
}

}  // namespace
