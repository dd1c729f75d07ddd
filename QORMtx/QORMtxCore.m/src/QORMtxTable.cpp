// QORMtxTable: a table of a QORMtxDocument, laid out in columns of signed widths with margins, dividers and rules.
#include "QORMtxTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QORMtxAssert.h"
#include "QORMtxUtilities.h"

namespace {

// Exponents read the same on every platform: e+005 is written e+05.
void TwoDigitExponent(char* text) {
  char* e = std::strchr(text, 'e');
  if (!e || (e[1] != '+' && e[1] != '-')) return;
  char* digits = e + 2;
  if (std::strlen(digits) == 3 && digits[0] == '0') std::memmove(digits, digits + 1, 3);
}

// "%.*g" text that still reads as a real: the shared formatter with the table's own zero rule applied before it.
cow_String RealText(double value, bool isZero, int digits) {
  if (isZero) return cow_String("0.0");
  char buf[64];
  QORMtxUtilities::DoubleToGfmt(value, buf, 0.0, digits);
  TwoDigitExponent(buf);
  return cow_String(buf);
}

}  // namespace

QORMtxTable::QORMtxTable(QORMtxDocument& doc, const cow_String& title, const cow_String& margin)
    : m_document(&doc), m_out(doc.m_out), m_mode(doc.m_mode) {
  doc.CheckInTable();
  ResetSettings();
  Start(title);
  Margin(margin);
  Divider(" ");
}

QORMtxTable::~QORMtxTable() {
  Finish(cow_String());
  m_document->CheckOutTable();
}

void QORMtxTable::ResetSettings() {
  ResetTableState();
  m_margin = cow_String();
  m_marginLength = 0;
  m_divider = cow_String();
  m_dividerLength = 0;
  m_widths.clear();
  m_numFormats = 0;
  m_defaultWidth = 0;
  m_precision = 0;
  m_zero = 0.0f;
  m_maxColumns = 0;
  m_maxWidth = 0;
  m_contCells = 0;
}

void QORMtxTable::ResetTableState() {
  m_lineCount = 0;
  m_column = 0;
  m_cellsInLine = 0;
  m_position = 0;
  m_started = false;
  m_active = false;
  m_blind = false;
  m_title = cow_String();
  m_headSpans.clear();
}

void QORMtxTable::Write(const cow_String& text) {
  if (!m_blind) *m_out << text;
}

QORMtxTable& QORMtxTable::Format(int width) {
  m_widths.push_back(width);
  m_numFormats = static_cast<int>(m_widths.size());
  m_defaultWidth = width;
  return *this;
}

QORMtxTable& QORMtxTable::Column(const cow_String& head, int width) {
  Format(width != 0 ? width : static_cast<int>(head.length()));
  return Head(head, 1);
}

int QORMtxTable::Cwidth(int span) {
  auto widthAt = [this](int column) {
    return column < m_numFormats ? m_widths[static_cast<size_t>(column)] : m_defaultWidth;
  };
  const int w = widthAt(m_column);
  if (span < 1) return w;
  int total = std::abs(w);
  for (int k = 1; k < span; ++k) total += std::abs(widthAt(m_column + k)) + m_dividerLength;
  m_column += span - 1;
  return total;
}

void QORMtxTable::Preout() {
  if (m_column == 0) {
    if (Html())
      Write("<tr>");
    else
      Write(m_margin);
    m_position = m_marginLength;
  } else {
    if (m_mode == QORMtxReportEnum::CSV)
      Write(", ");
    else if (m_mode == QORMtxReportEnum::TEXT)
      Write(m_divider);
    m_position += m_dividerLength;
  }
}

void QORMtxTable::Strout(const cow_String& text, int span) {
  int w = Cwidth(span);
  const int len = static_cast<int>(text.length());
  const bool html = Html() && !m_blind;

  // Headings (span >= 1) get half their slack in front; the field then aligns the padded text to the right.
  std::string padded;
  const bool centred = span >= 1 && len < w;
  if (centred) {
    padded.assign(static_cast<size_t>((w - len) / 2), ' ');
    padded += text.c_str();
    if (html) {
      *m_out << " align=center";
      if (span >= 2) *m_out << " colspan=" << span;
    }
  }
  if (w < 0) {
    w = -w;
    m_out->setf(aio_ostream::left);
    if (html) *m_out << " align=left";
  }
  if (html) *m_out << ">";

  if (!m_blind) {
    if (w >= 1) m_out->width(w);
    if (centred)
      *m_out << padded;
    else if (span < 1 || len <= w)
      *m_out << text;  // overlong data widens the cell rather than lose digits
    else
      *m_out << text.str().substr(0, static_cast<size_t>(w));
  }
  m_out->unsetf(aio_ostream::left);
  ++m_column;
  ++m_cellsInLine;
  m_position += std::max(len, w);
}

void QORMtxTable::DataCell(const cow_String& text, int span) {
  Preout();
  if (Html()) Write("<td");
  Strout(text, span);
}

QORMtxTable& QORMtxTable::Head(const cow_String& text, int span) {
  const bool isActive = m_active;
  QORMTX_ASSERT(isActive);
  Preout();
  if (m_column == 0) m_headSpans.clear();
  if (Html()) Write("<th");
  m_headSpans.push_back(span);
  Strout(text, span);
  return *this;
}

QORMtxTable& QORMtxTable::Head(const std::vector<cow_String>& heads) {
  for (const cow_String& h : heads) Head(h, 1);
  return *this;
}

QORMtxTable& QORMtxTable::Out(const cow_String& text, int span) {
  const bool isActive = m_active;
  QORMTX_ASSERT(isActive);
  if (!m_started) {
    m_started = true;
    if (Html()) Write("<tbody align=right>\n");
  }
  if ((m_maxColumns > 0 && m_column >= m_maxColumns) || (m_maxWidth > 0 && m_position >= m_maxWidth)) {
    NewLine();
    for (int i = 0; i < m_contCells; ++i) DataCell(cow_String(), 0);
  }
  DataCell(text, span);
  return *this;
}

QORMtxTable& QORMtxTable::Out(int value) { return Out(cow_String(std::to_string(value)), 0); }

QORMtxTable& QORMtxTable::Out(float value) {
  const bool isZero = (m_zero > 0.0f && -m_zero < value && value < m_zero) || value == 0.0f;
  const int digits = (m_precision >= 1 && m_precision <= 5) ? m_precision : 6;
  return Out(RealText(value, isZero, digits), 0);
}

QORMtxTable& QORMtxTable::Out(double value) {
  const double t = m_zero;
  const bool isZero = (t > 0.0 && -t < value && value < t) || value == 0.0;
  const int digits = (m_precision >= 1 && m_precision <= 14) ? m_precision : 15;
  return Out(RealText(value, isZero, digits), 0);
}

QORMtxTable& QORMtxTable::Out(const std::vector<int>& values) {
  for (int v : values) Out(v);
  return *this;
}

QORMtxTable& QORMtxTable::Out(const std::vector<float>& values) {
  for (float v : values) Out(v);
  return *this;
}

QORMtxTable& QORMtxTable::Out(const std::vector<double>& values) {
  for (double v : values) Out(v);
  return *this;
}

QORMtxTable& QORMtxTable::Out(const std::vector<cow_String>& texts) {
  for (const cow_String& s : texts) Out(s, 0);
  return *this;
}

QORMtxTable& QORMtxTable::Skip(int n) {
  if (n > 0) {
    for (int i = 0; i < n; ++i) Out(cow_String(), 0);
    return *this;
  }
  // Skipping to a column stays on this line: a wrap would restart the count and might never reach it.
  const int target = n < 0 ? -n : m_contCells;
  while (m_column < target) {
    const bool isActive = m_active;
    QORMTX_ASSERT(isActive);
    if (!m_started) {
      m_started = true;
      if (Html()) Write("<tbody align=right>\n");
    }
    DataCell(cow_String(), 0);
  }
  return *this;
}

QORMtxTable& QORMtxTable::Line(int width, char c) {
  const bool isActive = m_active;
  QORMTX_ASSERT(isActive);
  if (m_mode != QORMtxReportEnum::TEXT) return *this;
  Preout();
  const int len = std::max(0, width < 0 ? -width : Cwidth(width));
  Write(cow_String(std::string(static_cast<size_t>(len), c)));
  ++m_column;
  m_position += len;
  return *this;
}

QORMtxTable& QORMtxTable::HeadLine(bool whole, char c) {
  const std::vector<int> spans = m_headSpans;
  if (whole) {
    int sum = 0;
    for (int s : spans) sum += s;
    if (sum > 0) Line(sum, c);
  } else {
    for (int s : spans) Line(s, c);
  }
  return *this;
}

void QORMtxTable::NewLine() {
  const bool isActive = m_active;
  QORMTX_ASSERT(isActive);
  if (Html()) Write("</tr>");
  Write("\n");
  ++m_lineCount;
  m_column = 0;
  m_position = 0;
}

QORMtxTable& QORMtxTable::Endl() {
  NewLine();
  m_cellsInLine = 0;
  return *this;
}

QORMtxTable& QORMtxTable::Precision(int digits) {
  m_precision = std::max(0, digits);
  return *this;
}

QORMtxTable& QORMtxTable::Zero(float threshold) {
  m_zero = threshold;
  return *this;
}

QORMtxTable& QORMtxTable::Margin(const cow_String& margin) {
  m_margin = margin;
  m_marginLength = static_cast<int>(margin.length());
  return *this;
}

QORMtxTable& QORMtxTable::Divider(const cow_String& divider) {
  m_divider = divider;
  m_dividerLength = static_cast<int>(divider.length());
  return *this;
}

QORMtxTable& QORMtxTable::MaxColumn(int cols, int cont) {
  m_maxColumns = cols;
  m_contCells = cont;
  return *this;
}

QORMtxTable& QORMtxTable::MaxWidth(int width, int cont) {
  m_maxWidth = width;
  m_contCells = cont;
  return *this;
}

QORMtxTable& QORMtxTable::Blind(bool blind) {
  m_blind = blind;
  return *this;
}

QORMtxTable& QORMtxTable::Flush() {
  m_out->flush();
  return *this;
}

QORMtxTable& QORMtxTable::Start(const cow_String& title) {
  if (Html()) Write("<table border>\n");
  m_active = true;
  m_title = title;
  if (!title.empty()) {
    if (Html()) {
      Write("<caption><strong>");
      Write(title);
      Write("</strong>\n");
    } else {
      Write(title);
      Write("\n");
    }
  }
  return *this;
}

QORMtxTable& QORMtxTable::Finish(const cow_String& text) {
  if (!m_active) return *this;
  if (m_column > 0) NewLine();
  if (Html()) Write("</table>\n");
  m_active = false;
  if (!text.empty()) {
    Write(m_margin);
    Write(text);
    Write("\n");
  }
  return *this;
}

QORMtxTable& QORMtxTable::Reset(const cow_String& title) {
  Finish(cow_String());
  ResetSettings();
  return Start(title);
}

QORMtxTable& QORMtxTable::Reuse(const cow_String& title) {
  Finish(cow_String());
  ResetTableState();
  return Start(title);
}

cow_String QORMtxTable::Repeat(const cow_String& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text.c_str();
  return cow_String(out);
}

cow_String QORMtxTable::Squote(const cow_String& text) { return cow_String("'") + text + cow_String("'"); }
