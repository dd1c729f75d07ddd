// The report writer: number cells, small layouts and whole reports in the three modes (golden files, byte for byte).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QORMtxDocument.h"
#include "QORMtxTable.h"
#include "aio_ostream.h"
#include "qormtx_death.h"

namespace {

using Mode = QORMtxReportEnum;
using T = QORMtxTable;

// Everything a document writes while `body` fills it, from its title to its closing.
template <class Body>
std::string Written(Mode::QORMtxReportMode mode, const char* title, Body body) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc(title, mode, out);
    body(doc);
  }
  return sink;
}

// The text one number cell gets: a bare table (no widths, no margin) holds nothing but the cell and its newline.
template <class V>
std::string Cell(V value, int precision = 0, float zero = 0.0f) {
  const std::string s =
      Written(Mode::TEXT, "", [&](QORMtxDocument& d) { T(d).Precision(precision).Zero(zero).Out(value); });
  EXPECT_EQ(s.back(), '\n');
  return s.substr(0, s.size() - 1);
}

TEST(ReportCells, NumberTextPrecisionAndZeroThreshold) {
  EXPECT_EQ(Cell(2.0), "2.0");
  EXPECT_EQ(Cell(-0.0), "0.0");
  EXPECT_EQ(Cell(1e-300, 3), "1e-300");  // a three-digit exponent without a leading 0 stays
  EXPECT_EQ(Cell(1.5e100, 0), "1.5e+100");
  EXPECT_EQ(Cell(1.0 / 3.0), "0.333333333333333");      // precision 0: 15 digits
  EXPECT_EQ(Cell(1.0 / 3.0, 20), "0.333333333333333");  // beyond 14: 15 digits
  EXPECT_EQ(Cell(1.0 / 3.0, 14), "0.33333333333333");
  EXPECT_EQ(Cell(2.7, 1), "3.0");
  EXPECT_EQ(Cell(100.0, 3), "100.0");
  EXPECT_EQ(Cell(1234.0, 3), "1.23e+03");
  EXPECT_EQ(Cell(-42), "-42");
  EXPECT_EQ(Cell(-7.0, -4), "-7.0");            // a negative precision counts as 0
  EXPECT_EQ(Cell(1.0f / 3.0f), "0.333333");     // float, precision 0: 6 digits
  EXPECT_EQ(Cell(1.0f / 3.0f, 7), "0.333333");  // beyond 5: 6 digits
  EXPECT_EQ(Cell(1.0f / 3.0f, 5), "0.33333");
  EXPECT_EQ(Cell(3.0f), "3.0");
  EXPECT_EQ(Cell(1e20f), "1e+20");
  // The zero threshold is strict and compares magnitudes; threshold 0 blanks only an exact zero.
  EXPECT_EQ(Cell(1e-20, 0, 1e-10f), "0.0");
  EXPECT_EQ(Cell(-5e-4, 0, 1e-3f), "0.0");
  EXPECT_EQ(Cell(0.5, 0, 0.5f), "0.5");
  EXPECT_EQ(Cell(-0.5, 0, 0.5f), "-0.5");
  EXPECT_EQ(Cell(1e-20), "1e-20");
  EXPECT_EQ(Cell(0.25f, 0, 0.5f), "0.0");
  EXPECT_EQ(Cell(0.5f, 0, 0.5f), "0.5");
}

// Layouts the golden reports below do not reach.
TEST(ReportCells, SmallLayouts) {
  using Doc = QORMtxDocument;
  // A blind table writes only what its start wrote before it went blind.
  const auto blind = [](Doc& d) { T(d).Format(-3).Blind(true).Head("h", 2).Out("x").Line(4).Endl().Finish("end"); };
  // Rules: 50% of 79 columns less the label; a label of 7 - 10 dashes' length stands alone.
  const auto rules = [](Doc& d) { d.HorLine(50, "abc").HorLine(10, "abcdefghij").HorLine(0, "").Endl(); };
  const auto twoTables = [](Doc& d) {  // one after another; the document is free again after the second
    T(d, "a");
    T(d, "b");
    d.CheckInTable();
    d.CheckOutTable();
  };
  EXPECT_EQ(Written(Mode::HTML, "", blind),
            "<html><head><title>\n</title></head><body>\n<table border>\n</body></html>\n");
  EXPECT_EQ(Written(Mode::TEXT, "Title", rules), "Title\n\nabc" + std::string(36, '-') + "\n\nabcdefghij\n\n\n\n");
  EXPECT_EQ(Written(Mode::CSV, "", twoTables), "a\nb\n");
  EXPECT_EQ(T::Repeat("ab", 3), cow_String("ababab"));
  EXPECT_EQ(T::Repeat("x", -2), cow_String(""));
  EXPECT_EQ(T::Squote("a b"), cow_String("'a b'"));
  EXPECT_EQ(T::Squote(""), cow_String("''"));
}

TEST(ReportDeathTest, OneOpenTableAtATime) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
  std::string sink;
  aio_ostream out(&sink);
  QORMtxDocument doc("", Mode::TEXT, out);
  QORMtxTable t(doc, "", "");
  EXPECT_DEATH(
      QORMtxTable second(doc),
      qormtx_test::Literal("Assertion failed: !hasTable\nFile QORMtx/QORMtxCore.m/src/QORMtxDocument.cpp, line "));
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

std::string Golden(const std::string& name) {
  std::ifstream in(std::string(QORMTX_TEST_SOURCE_DIR) + "/data/golden/report/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing golden file " << name;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ReportGolden, TextModeWithHeadingsRulesAndNumbers) {
  const auto body = [](QORMtxDocument& doc) {
    doc << "Mode count: 3";
    doc.Endl();
    {
      QORMtxTable t(doc, "Frequencies", "  ");
      t.Format(5).Format(-8).Format(12).Precision(4);
      t.Head("Mode").Head("Kind").Head("Value") << T::Endl;
      t.HeadLine() << T::Endl;
      t.Out(1).Out("bend").Out(12.5) << T::Endl;
      t.Out(2).Out("torsion-x").Out(1234567.0) << T::Endl;  // overlong text widens its cell
      t.Out(3).Out("axial").Out(2.0) << T::Endl;
      t.Finish("3 modes");
    }
    doc.HorLine(50, "abc");
  };
  EXPECT_EQ(Written(Mode::TEXT, "Eigen report", body), Golden("text_report.txt"));
}

TEST(ReportGolden, HtmlModeCellsSpansAndTwoTables) {
  const auto body = [](QORMtxDocument& doc) {
    doc << "Intro";
    doc.Endl();
    {
      QORMtxTable t(doc, "T", "  ");
      t.Format(4).Format(-6);
      t.Head("No").Head("Name") << T::Endl;
      t.HeadLine();  // rules are a text-mode feature
      t.Out(7).Out("ab") << T::Endl;
      t.Head("Both", 2) << T::Endl;
      t.Head("Much longer", 1) << T::Endl;  // a heading is cut to its column
      t.Out(-0.25).Out("x");                // left open: the destructor ends the row
    }
    T(doc).Out("only").Finish("after");
    doc.HorLine(30, "ignored");
  };
  EXPECT_EQ(Written(Mode::HTML, "Report", body), Golden("html_report.html"));
}

TEST(ReportGolden, CommaModeColumnsListsAndZeroThreshold) {
  const auto body = [](QORMtxDocument& doc) {
    {
      QORMtxTable t(doc);
      t.Column("Id", 0).Column("Frequency", 12).Column("Tag", -5) << T::Endl;
      t.Precision(3).Zero(1e-10f);
      t.Out(0).Out(1e-20).Out("a") << T::Endl;
      t.Out(1).Out(1e300).Out("bb") << T::Endl;
      t.Out(2).Out(123456.0).Out("ccccccc") << T::Endl;
      t.Out(3).Out(0.1f).Out(std::vector<cow_String>{"d"}) << T::Endl;
      t.Out(std::vector<int>{4}).Out(std::vector<double>{-2.5}).Out(std::vector<float>{0.5f}) << T::Endl;
      t.Finish("done");
    }
    doc.HorLine(100, "");
  };
  EXPECT_EQ(Written(Mode::CSV, "Modes", body), Golden("csv_report.csv"));
}

TEST(ReportGolden, WrappingReuseBlindAndReset) {
  const auto body = [](QORMtxDocument& doc) {
    QORMtxTable t(doc, "", "> ");
    t.Format(4).MaxColumn(3, 1);
    t.Out(std::vector<int>{1, 2, 3, 4, 5, 6}) << T::Endl;
    t.Reuse("Wide");  // keeps width, margin and divider
    t.MaxColumn(0, 0).MaxWidth(12, 2);
    t.Out("a").Out("b").Out("c").Out("d") << T::Endl;
    t.MaxWidth(10, 0);  // a cut cell still counts its whole text towards the width limit
    t.Out("abcdefgh", 1).Out("xy", 1) << T::Endl;
    t.MaxWidth(0, 0);
    t.Blind(true).Out("hidden").Out("h2").Blind(false).Out("shown") << T::Endl;
    t.Reset("Plain");  // everything goes, the divider included
    t.Out("p").Out("q").Out(5) << T::Endl;
  };
  EXPECT_EQ(Written(Mode::TEXT, "", body), Golden("wrap_report.txt"));
}

TEST(ReportGolden, RulesSpansAndSkips) {
  const auto body = [](QORMtxDocument& doc) {
    {
      QORMtxTable t(doc);
      t.Format(4).Format(4).Format(6);
      t.Head("Both", 2).Head("Z") << T::Endl;
      t.HeadLine(false, '=') << T::Endl;
      t.HeadLine(true, '-') << T::Endl;
      t.Line(-3, '*').Line(0, '.').Line(1, '#') << T::Endl;
      t.Out(1).Out(2).Out(3) << T::Endl;
      t.Skip(1).Out(7).Skip(-3).Out(8) << T::Endl;
      t.MaxColumn(0, 2).Skip(0).Out(9) << T::Endl;
      t.Line(-4, '~');
    }
    QORMtxTable t(doc, "Second");
    t.Format(-3).Divider(" | ");
    t.Out("a").Out("b") << T::Endl;
    t.Head("Span", 2) << T::Endl;
    t.HeadLine() << T::Endl;
  };
  EXPECT_EQ(Written(Mode::TEXT, "Rules", body), Golden("rules_report.txt"));
}

}  // namespace
