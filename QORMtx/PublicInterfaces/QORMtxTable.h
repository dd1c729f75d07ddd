// QORMtxTable: a table of a QORMtxDocument, laid out in columns of signed widths with margins, dividers and rules.
#pragma once
#include <vector>

#include "QORMtxDocument.h"
#include "aio_ostream.h"
#include "cow_String.h"

/// A table writes cells left to right into columns. Each column has a signed width: positive right-aligns, negative
/// left-aligns, and columns beyond the given widths use the last width given. Data cells (`Out`) keep the column's
/// alignment and let overlong text widen the cell; heading cells (`Head`) span one or more columns, are padded by half
/// their slack and are cut to the column. Text mode writes the margin at the start of each line and the divider
/// between cells; comma mode writes the margin and ", "; HTML writes <tr>, <th> and <td> elements.
/// Every setter returns the table, so calls chain: `t.Out(1).Out(2.5) << QORMtxTable::Endl;`.
class QORMtxTable {
 public:
  /// \brief Opens the document's one table: precondition "!hasTable" (on the document); all settings reset,
  /// `Start(title)`, then the margin is set and the divider becomes " ".
  QORMtxTable(QORMtxDocument& doc, const cow_String& title = cow_String(), const cow_String& margin = cow_String());
  /// \brief `Finish("")` and releases the document for the next table.
  ~QORMtxTable();
  QORMtxTable(const QORMtxTable&) = delete;
  QORMtxTable& operator=(const QORMtxTable&) = delete;

  /// \brief Appends a column width (sign = alignment); it also becomes the width of all later columns.
  QORMtxTable& Format(int width);
  /// \brief Appends width (the head's length when width is 0) and writes head as a one-column heading.
  QORMtxTable& Column(const cow_String& head, int width = 0);

  /// \brief Heading cell over span columns. Precondition "isActive".
  QORMtxTable& Head(const cow_String& text, int span = 1);
  /// \brief One one-column heading cell per item.
  QORMtxTable& Head(const std::vector<cow_String>& heads);

  /// \brief Data cell. With span < 1 the text is aligned by the column's signed width and overlong text widens the
  /// cell; with span >= 1 it is treated as a heading is (padded, cut to the spanned width). Wraps the line first
  /// when a column or width limit is reached. Precondition "isActive".
  QORMtxTable& Out(const cow_String& text, int span = 0);
  QORMtxTable& Out(int value);
  /// \brief Shortest "%g" text with the precision (1..5, otherwise 6 digits); "0.0" for 0 and for |v| below the
  /// zero threshold; integral values get ".0".
  QORMtxTable& Out(float value);
  /// \brief Shortest "%g" text with the precision (1..14, otherwise 15 digits); "0.0" for 0 and for |v| below the
  /// zero threshold; integral values get ".0".
  QORMtxTable& Out(double value);
  /// \brief One data cell per item.
  QORMtxTable& Out(const std::vector<int>& values);
  QORMtxTable& Out(const std::vector<float>& values);
  QORMtxTable& Out(const std::vector<double>& values);
  QORMtxTable& Out(const std::vector<cow_String>& texts);

  /// \brief n > 0: n empty cells. n < 0: empty cells until the current column is -n; n = 0: until it is the
  /// continuation count. The last two stay on the current line.
  QORMtxTable& Skip(int n = 1);

  /// \brief Text mode only: a rule of c as a cell, |width| long for width < 0, otherwise as wide as `width` columns
  /// (0: the column's signed width). Precondition "isActive".
  QORMtxTable& Line(int width, char c = '-');
  /// \brief Rules under the last heading line: one per heading (whole false) or one over all of them (whole true).
  QORMtxTable& HeadLine(bool whole = false, char c = '-');

  /// \brief Ends the line. Precondition "isActive".
  QORMtxTable& Endl();
  /// \brief Manipulator form: `table << QORMtxTable::Endl`.
  static QORMtxTable& Endl(QORMtxTable& table) { return table.Endl(); }
  QORMtxTable& operator<<(QORMtxTable& (*manip)(QORMtxTable&)) { return manip(*this); }

  /// \brief Significant digits of numbers, max(0, digits); 0 selects the type's full precision.
  QORMtxTable& Precision(int digits);
  /// \brief Numbers with |v| < threshold print as "0.0"; 0 switches this off.
  QORMtxTable& Zero(float threshold);
  QORMtxTable& Margin(const cow_String& margin);
  QORMtxTable& Divider(const cow_String& divider);
  /// \brief Wrap before a data cell once cols cells are on the line, then write cont empty cells (0: no limit).
  QORMtxTable& MaxColumn(int cols, int cont);
  /// \brief Wrap before a data cell once the line holds width characters, then write cont empty cells (0: no limit).
  QORMtxTable& MaxWidth(int width, int cont);
  /// \brief While true nothing is written; lines, columns and positions are still counted.
  QORMtxTable& Blind(bool blind);
  QORMtxTable& Flush();

  /// \brief Opens the table: HTML "<table border>"; a non-empty title as caption or line.
  QORMtxTable& Start(const cow_String& title);
  /// \brief Closes an open table: ends an unfinished line, HTML "</table>", then a non-empty text as a line.
  QORMtxTable& Finish(const cow_String& text);
  /// \brief `Finish("")`, every setting back to empty (the divider too), `Start(title)`.
  QORMtxTable& Reset(const cow_String& title);
  /// \brief `Finish("")`, a fresh table with the same widths, margin, divider, precision, threshold and limits.
  QORMtxTable& Reuse(const cow_String& title);

  /// \brief text n times (empty for n < 1).
  static cow_String Repeat(const cow_String& text, int n);
  /// \brief text between single quotes.
  static cow_String Squote(const cow_String& text);

 private:
  void ResetSettings();
  void ResetTableState();
  int Cwidth(int span);
  void Preout();
  void Strout(const cow_String& text, int span);
  void DataCell(const cow_String& text, int span);
  void NewLine();
  void Write(const cow_String& text);
  bool Html() const noexcept { return m_mode == QORMtxReportEnum::HTML; }

  QORMtxDocument* m_document;
  aio_ostream* m_out;
  QORMtxReportEnum::QORMtxReportMode m_mode;
  int m_marginLength = 0;
  int m_dividerLength = 0;
  int m_maxColumns = 0;
  int m_maxWidth = 0;
  int m_contCells = 0;
  int m_precision = 0;
  int m_numFormats = 0;
  int m_defaultWidth = 0;
  float m_zero = 0.0f;
  cow_String m_margin;
  cow_String m_divider;
  std::vector<int> m_widths;
  std::vector<int> m_headSpans;
  int m_lineCount = 0;
  int m_column = 0;
  int m_cellsInLine = 0;
  int m_position = 0;
  bool m_started = false;
  bool m_active = false;
  bool m_blind = false;
  cow_String m_title;
};
