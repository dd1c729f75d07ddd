// QORMtxDocument: a report (plain text, HTML or comma-separated) on an output stream, holding at most one open table.
#pragma once
#include "aio_ostream.h"
#include "cow_String.h"

/// \brief The three report modes.
struct QORMtxReportEnum {
  enum QORMtxReportMode {
    TEXT = 0,  ///< plain text, columns padded to their widths
    HTML = 1,  ///< an HTML page; tables become <table> elements
    CSV = 2    ///< comma-separated values (cells separated by ", ")
  };
};

class QORMtxTable;

class QORMtxDocument {
 public:
  /// \brief Opens the report on out (not owned; it must outlive the document).
  /// HTML writes the page head with title as the page title; the other modes write a non-empty title as a line.
  QORMtxDocument(const cow_String& title, QORMtxReportEnum::QORMtxReportMode mode, aio_ostream& out);
  /// \brief HTML closes the page ("</body></html>").
  ~QORMtxDocument();
  QORMtxDocument(const QORMtxDocument&) = delete;
  QORMtxDocument& operator=(const QORMtxDocument&) = delete;

  /// \brief Writes the text as it stands.
  QORMtxDocument& operator<<(const cow_String& text);
  /// \brief Ends a line ("<br>" before the newline in HTML).
  QORMtxDocument& Endl();
  /// \brief A horizontal rule over percent of the page: in HTML "<hr width=percent%>"; otherwise the label and dashes
  /// up to percent·79/100 characters. Both are preceded and followed by a newline.
  QORMtxDocument& HorLine(int percent, const cow_String& label);
  QORMtxReportEnum::QORMtxReportMode mode() const noexcept { return m_mode; }

  /// \brief Registers the one open table. Precondition "!hasTable".
  void CheckInTable();
  /// \brief The open table has gone.
  void CheckOutTable() noexcept { m_hasTable = false; }

 private:
  friend class QORMtxTable;  // a table writes on its document's stream
  aio_ostream* m_out;
  QORMtxReportEnum::QORMtxReportMode m_mode;
  bool m_hasTable = false;
};
