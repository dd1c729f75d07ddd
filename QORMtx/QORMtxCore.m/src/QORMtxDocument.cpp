// QORMtxDocument: a report (plain text, HTML or comma-separated) on an output stream, holding at most one open table.
#include "QORMtxDocument.h"

#include <string>

#include "QORMtxAssert.h"

QORMtxDocument::QORMtxDocument(const cow_String& title, QORMtxReportEnum::QORMtxReportMode mode, aio_ostream& out)
    : m_out(&out), m_mode(mode) {
  if (m_mode == QORMtxReportEnum::HTML) {
    *m_out << "<html><head><title>\n";
    if (!title.empty()) {
      *m_out << title << "\n";
      m_out->flush();
    }
    *m_out << "</title></head><body>\n";
  } else if (!title.empty()) {
    *m_out << title << "\n";
  }
}

QORMtxDocument::~QORMtxDocument() {
  if (m_mode == QORMtxReportEnum::HTML) *m_out << "</body></html>\n";
}

QORMtxDocument& QORMtxDocument::operator<<(const cow_String& text) {
  *m_out << text;
  return *this;
}

QORMtxDocument& QORMtxDocument::Endl() {
  if (m_mode == QORMtxReportEnum::HTML) *m_out << "<br>";
  *m_out << "\n";
  return *this;
}

QORMtxDocument& QORMtxDocument::HorLine(int percent, const cow_String& label) {
  *m_out << "\n";
  if (m_mode == QORMtxReportEnum::HTML) {
    *m_out << "<hr width=" << percent << "%>";
  } else {
    if (!label.empty()) *m_out << label;
    const int dashes = percent * 79 / 100 - static_cast<int>(label.length());
    if (dashes > 0) *m_out << std::string(static_cast<size_t>(dashes), '-');
  }
  *m_out << "\n";
  return *this;
}

void QORMtxDocument::CheckInTable() {
  const bool hasTable = m_hasTable;
  QORMTX_ASSERT(!hasTable);
  m_hasTable = true;
}
