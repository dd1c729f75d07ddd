// Whole reports in the three modes, compared byte for byte with hand-written golden files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QORMtxDocument.h"
#include "QORMtxTable.h"
#include "aio_ostream.h"

namespace {

using Mode = QORMtxReportEnum;

std::string Golden(const std::string& name) {
  std::ifstream in(std::string(QORMTX_TEST_SOURCE_DIR) + "/data/golden/report/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing golden file " << name;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void TextReport(aio_ostream& out) {
  QORMtxDocument doc("Eigen report", Mode::TEXT, out);
  doc << "Mode count: 3";
  doc.Endl();
  {
    QORMtxTable t(doc, "Frequencies", "  ");
    t.Format(5).Format(-8).Format(12).Precision(4);
    t.Head("Mode").Head("Kind").Head("Value") << QORMtxTable::Endl;
    t.HeadLine() << QORMtxTable::Endl;
    t.Out(1).Out("bend").Out(12.5) << QORMtxTable::Endl;
    t.Out(2).Out("torsion-x").Out(1234567.0) << QORMtxTable::Endl;  // overlong text widens its cell
    t.Out(3).Out("axial").Out(2.0) << QORMtxTable::Endl;
    t.Finish("3 modes");
  }
  doc.HorLine(50, "abc");
}

TEST(ReportGolden, TextModeWithHeadingsRulesAndNumbers) {
  std::string sink;
  aio_ostream out(&sink);
  TextReport(out);
  EXPECT_EQ(sink, Golden("text_report.txt"));
}

TEST(ReportGolden, FileStreamGivesTheSameBytes) {
  const std::string path = ::testing::TempDir() + "qormtx_report_golden.txt";
  {
    aio_ofstream file(path.c_str());
    ASSERT_TRUE(file.is_open());
    TextReport(file);
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), Golden("text_report.txt"));
  std::remove(path.c_str());
}

TEST(ReportGolden, HtmlModeCellsSpansAndTwoTables) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc("Report", Mode::HTML, out);
    doc << "Intro";
    doc.Endl();
    {
      QORMtxTable t(doc, "T", "  ");
      t.Format(4).Format(-6);
      t.Head("No").Head("Name") << QORMtxTable::Endl;
      t.HeadLine();  // rules are a text-mode feature
      t.Out(7).Out("ab") << QORMtxTable::Endl;
      t.Head("Both", 2) << QORMtxTable::Endl;
      t.Head("Much longer", 1) << QORMtxTable::Endl;  // a heading is cut to its column
      t.Out(-0.25).Out("x");                          // left open: the destructor ends the row
    }
    {
      QORMtxTable t(doc, "", "");
      t.Out("only");
      t.Finish("after");
    }
    doc.HorLine(30, "ignored");
  }
  EXPECT_EQ(sink, Golden("html_report.html"));
}

TEST(ReportGolden, CommaModeColumnsListsAndZeroThreshold) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc("Modes", Mode::CSV, out);
    {
      QORMtxTable t(doc, "", "");
      t.Column("Id", 0).Column("Frequency", 12).Column("Tag", -5) << QORMtxTable::Endl;
      t.Precision(3).Zero(1e-10f);
      t.Out(0).Out(1e-20).Out("a") << QORMtxTable::Endl;
      t.Out(1).Out(1e300).Out("bb") << QORMtxTable::Endl;
      t.Out(2).Out(123456.0).Out("ccccccc") << QORMtxTable::Endl;
      t.Out(3).Out(0.1f).Out(std::vector<cow_String>{"d"}) << QORMtxTable::Endl;
      t.Out(std::vector<int>{4}).Out(std::vector<double>{-2.5}).Out(std::vector<float>{0.5f}) << QORMtxTable::Endl;
      t.Finish("done");
    }
    doc.HorLine(100, "");
  }
  EXPECT_EQ(sink, Golden("csv_report.csv"));
}

TEST(ReportGolden, WrappingReuseBlindAndReset) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc("", Mode::TEXT, out);
    QORMtxTable t(doc, "", "> ");
    t.Format(4).MaxColumn(3, 1);
    t.Out(std::vector<int>{1, 2, 3, 4, 5, 6}) << QORMtxTable::Endl;
    t.Reuse("Wide");  // keeps width, margin and divider
    t.MaxColumn(0, 0).MaxWidth(12, 2);
    t.Out("a").Out("b").Out("c").Out("d") << QORMtxTable::Endl;
    // A cut cell still counts its whole text towards the width limit.
    t.MaxWidth(10, 0);
    t.Out("abcdefgh", 1).Out("xy", 1) << QORMtxTable::Endl;
    t.MaxWidth(0, 0);
    t.Blind(true).Out("hidden").Out("h2").Blind(false).Out("shown") << QORMtxTable::Endl;
    t.Reset("Plain");  // everything goes, the divider included
    t.Out("p").Out("q").Out(5) << QORMtxTable::Endl;
  }
  EXPECT_EQ(sink, Golden("wrap_report.txt"));
}

TEST(ReportGolden, RulesSpansAndSkips) {
  std::string sink;
  aio_ostream out(&sink);
  {
    QORMtxDocument doc("Rules", Mode::TEXT, out);
    {
      QORMtxTable t(doc, "", "");
      t.Format(4).Format(4).Format(6);
      t.Head("Both", 2).Head("Z") << QORMtxTable::Endl;
      t.HeadLine(false, '=') << QORMtxTable::Endl;
      t.HeadLine(true, '-') << QORMtxTable::Endl;
      t.Line(-3, '*').Line(0, '.').Line(1, '#') << QORMtxTable::Endl;
      t.Out(1).Out(2).Out(3) << QORMtxTable::Endl;
      t.Skip(1).Out(7).Skip(-3).Out(8) << QORMtxTable::Endl;
      t.MaxColumn(0, 2).Skip(0).Out(9) << QORMtxTable::Endl;
      t.Line(-4, '~');
    }
    {
      QORMtxTable t(doc, "Second", "");
      t.Format(-3).Divider(" | ");
      t.Out("a").Out("b") << QORMtxTable::Endl;
      t.Head("Span", 2) << QORMtxTable::Endl;
      t.HeadLine() << QORMtxTable::Endl;
    }
  }
  EXPECT_EQ(sink, Golden("rules_report.txt"));
}

}  // namespace
