// Single cells, numbers, documents and the preconditions of the report writer.
#include <gtest/gtest.h>

#include <string>

#include "QORMtxDocument.h"
#include "QORMtxTable.h"
#include "aio_ostream.h"
#include "qormtx_death.h"

namespace {

using Mode = QORMtxReportEnum;

// The text one number cell gets: a bare table (no widths, no margin) holds nothing but the cell.
template <class T>
std::string Cell(T value, int precision = 0, float zero = 0.0f) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  {
    QORMtxTable t(doc, "", "");
    t.Precision(precision).Zero(zero).Out(value);
  }
  EXPECT_EQ(sink.back(), '\n');
  return sink.substr(0, sink.size() - 1);
}

TEST(ReportCells, SignedWidthsAlignDataCells) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable t(doc, "", "  ");
  t.Format(5).Format(-5).Out(3).Out("ab").Endl();
  EXPECT_EQ(sink, "      3 ab   \n");
}

TEST(ReportCells, DoubleText) {
  EXPECT_EQ(Cell(2.0), "2.0");
  EXPECT_EQ(Cell(-0.0), "0.0");
  EXPECT_EQ(Cell(1e300, 3), "1e+300");
  EXPECT_EQ(Cell(1e-300, 3), "1e-300");  // a three-digit exponent without a leading 0 stays
  EXPECT_EQ(Cell(1.5e100, 0), "1.5e+100");
  EXPECT_EQ(Cell(1.0 / 3.0), "0.333333333333333");      // precision 0: 15 digits
  EXPECT_EQ(Cell(1.0 / 3.0, 20), "0.333333333333333");  // beyond 14: 15 digits
  EXPECT_EQ(Cell(1.0 / 3.0, 14), "0.33333333333333");
  EXPECT_EQ(Cell(2.7, 1), "3.0");
  EXPECT_EQ(Cell(100.0, 3), "100.0");
  EXPECT_EQ(Cell(1234.0, 3), "1.23e+03");
  EXPECT_EQ(Cell(-42), "-42");
  EXPECT_EQ(Cell(-7.0, -4), "-7.0");  // a negative precision counts as 0
}

TEST(ReportCells, ZeroThresholdIsStrict) {
  EXPECT_EQ(Cell(1e-20, 0, 1e-10f), "0.0");
  EXPECT_EQ(Cell(-5e-4, 0, 1e-3f), "0.0");
  EXPECT_EQ(Cell(0.5, 0, 0.5f), "0.5");  // |v| equal to the threshold still prints
  EXPECT_EQ(Cell(-0.5, 0, 0.5f), "-0.5");
  EXPECT_EQ(Cell(1e-20), "1e-20");  // threshold 0: only an exact zero is "0.0"
  EXPECT_EQ(Cell(0.25f, 0, 0.5f), "0.0");
  EXPECT_EQ(Cell(0.5f, 0, 0.5f), "0.5");
}

TEST(ReportCells, FloatText) {
  EXPECT_EQ(Cell(1.0f / 3.0f), "0.333333");     // precision 0: 6 digits
  EXPECT_EQ(Cell(1.0f / 3.0f, 7), "0.333333");  // beyond 5: 6 digits
  EXPECT_EQ(Cell(1.0f / 3.0f, 5), "0.33333");
  EXPECT_EQ(Cell(3.0f), "3.0");
  EXPECT_EQ(Cell(1e20f), "1e+20");
  EXPECT_EQ(Cell(0.0f), "0.0");
}

TEST(ReportCells, SpanningHeadingFillsNineCharacters) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable t(doc, "", "");
  t.Format(4).Format(4).Format(1).Head("ab", 2).Out("|").Endl();
  // Half the slack (3) goes in front, then the 9-wide field aligns right.
  EXPECT_EQ(sink, "       ab |\n");
}

TEST(ReportCells, MaxColumnContinuesWithEmptyCells) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable t(doc, "", "");
  t.Format(1).MaxColumn(3, 1).Out(1).Out(2).Out(3).Out(4).Endl();
  EXPECT_EQ(sink, "1 2 3\n  4\n");
}

TEST(ReportCells, HtmlTableWithTitleAndOneCell) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::HTML, out);
  EXPECT_EQ(sink, "<html><head><title>\n</title></head><body>\n");
  sink.clear();
  {
    QORMtxTable t(doc, "T", "");
    t.Out("x").Endl();
  }
  EXPECT_EQ(sink,
            "<table border>\n<caption><strong>T</strong>\n<tbody align=right>\n"
            "<tr><td>x</tr>\n</table>\n");
}

TEST(ReportCells, HtmlBlindTableWritesNothing) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::HTML, out);
  sink.clear();
  {
    QORMtxTable t(doc, "", "");
    t.Format(-3).Blind(true).Head("h", 2).Out("x").Line(4).Endl().Finish("end");
  }
  EXPECT_EQ(sink, "<table border>\n");  // Start ran before Blind
}

TEST(ReportDocument, HorLineAndLines) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc("Title", Mode::TEXT, out);
    doc.HorLine(50, "abc");
    doc.HorLine(10, "abcdefghij");  // 7 - 10 dashes: the label alone
    doc.HorLine(0, "");
    doc << "x";
    doc.Endl();
    EXPECT_EQ(doc.mode(), Mode::TEXT);
  }
  EXPECT_EQ(sink, "Title\n\nabc" + std::string(36, '-') + "\n\nabcdefghij\n\n\nx\n");
  EXPECT_EQ(std::string("abc" + std::string(36, '-')).size(), 39u);
}

TEST(ReportDocument, TablesComeOneAfterAnother) {
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::CSV, out);
  { QORMtxTable a(doc, "a", ""); }
  { QORMtxTable b(doc, "b", ""); }
  doc.CheckInTable();  // free again after the second table
  doc.CheckOutTable();
  EXPECT_EQ(sink, "a\nb\n");
}

TEST(ReportTable, RepeatAndSquote) {
  EXPECT_EQ(QORMtxTable::Repeat("ab", 3), cow_String("ababab"));
  EXPECT_EQ(QORMtxTable::Repeat("x", 0), cow_String(""));
  EXPECT_EQ(QORMtxTable::Repeat("x", -2), cow_String(""));
  EXPECT_EQ(QORMtxTable::Squote("a b"), cow_String("'a b'"));
  EXPECT_EQ(QORMtxTable::Squote(""), cow_String("''"));
}

TEST(ReportDeath, OneTableAtATime) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable first(doc, "", "");
  EXPECT_QORMTX_ASSERTION(QORMtxTable second(doc, "", ""), "!hasTable");
  EXPECT_DEATH(QORMtxTable second(doc, "", ""), "File QORMtx/QORMtxCore\\.m/src/QORMtxDocument\\.cpp, line [0-9]+");
}

TEST(ReportDeath, CellsNeedAnOpenTable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable t(doc, "", "");
  t.Finish("");
  EXPECT_QORMTX_ASSERTION(t.Out(1), "isActive");
  EXPECT_QORMTX_ASSERTION(t.Head("h"), "isActive");
  EXPECT_QORMTX_ASSERTION(t.Line(3), "isActive");
  EXPECT_QORMTX_ASSERTION(t.Endl(), "isActive");
  EXPECT_QORMTX_ASSERTION(t.Skip(2), "isActive");
  t.Finish("");  // finishing twice is harmless
  t.Reuse("");   // and the table opens again
  t.Out(1).Endl();
  EXPECT_EQ(sink, "1\n");
}

}  // namespace
