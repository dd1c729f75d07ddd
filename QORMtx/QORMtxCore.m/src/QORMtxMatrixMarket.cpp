// QORMtxMatrixMarket: reads and writes sparse matrices as Matrix Market text files (coordinate and array formats).
#include "QORMtxMatrixMarket.h"

#include <cctype>
#include <cmath>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "QORMtxAssert.h"
#include "QORMtxEntryList.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "aio_ostream.h"

using qormtx_sparse::NewDouble;
using qormtx_sparse::NewInt;
using qormtx_sparse::NewUnsigned;
using qormtx_sparse::NewZeroDouble;
using qormtx_sparse::Owned;

namespace {

constexpr long long kMaxIndex = 2147483646;  // rows + 1 row starts must fit an int count
constexpr long long kMaxEntries = 2147483647;

enum class Field { REAL, INTEGER, PATTERN };
enum class Symmetry { GENERAL, SYMMETRIC, SKEW };

struct Token {
  const char* b;
  const char* e;
  std::string Text() const {
    // Shown in messages: cut long tokens and hide bytes that would garble the terminal.
    std::string s;
    for (const char* p = b; p < e && s.size() < 40; ++p) s += std::isprint(static_cast<unsigned char>(*p)) ? *p : '?';
    if (e - b > 40) s += "...";
    return s;
  }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool EqualNoCase(const Token& t, const char* word) {
  const size_t n = std::strlen(word);
  if (static_cast<size_t>(t.e - t.b) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(t.b[i])) != word[i]) return false;
  return true;
}

// The text split into lines, each without its line end (LF, with a CR before it dropped as blank). The text is
// either held by the caller or read from a file in pieces of bounded size, so a large file never sits in memory
// whole; a line longer than kMaxLine is refused rather than buffered.
class LineReader {
 public:
  static constexpr size_t kPiece = size_t(1) << 20;
  static constexpr size_t kMaxLine = size_t(1) << 24;

  LineReader(const char* text, size_t length) : m_p(text), m_end(text + length) {}
  LineReader(FILE* f, long long total, const QORMtxMatrixMarket::ReadOptions* options)
      : m_file(f), m_total(total), m_options(options) {
    m_p = m_end = m_buffer.data();
  }
  /// Next line into [b, e); false at the end of the text or on a read error (see Error()).
  bool Next(const char*& b, const char*& e) {
    const void* nl = nullptr;
    // memchr wants a real pointer even for no bytes (an empty text may have none).
    while (!(nl = m_p < m_end ? std::memchr(m_p, '\n', static_cast<size_t>(m_end - m_p)) : nullptr) && Refill()) {
    }
    if (m_p >= m_end) return false;
    b = m_p;
    e = nl ? static_cast<const char*>(nl) : m_end;
    m_p = nl ? e + 1 : m_end;
    ++m_line;
    return true;
  }
  /// Number of the line last returned (1-based); after the end, the number of lines.
  long long Line() const { return m_line; }
  /// The unread text of the current piece, for a caller that scans a whole line in place (see Consume).
  const char* Cursor() const { return m_p; }
  const char* PieceEnd() const { return m_end; }
  /// Counts the line that ends just before next (its line end included) as read.
  void Consume(const char* next) {
    m_p = next;
    ++m_line;
  }
  /// Why the text ended early: empty when it did not.
  const std::string& Error() const { return m_error; }

 private:
  // Appends the next piece of the file after the unfinished line; false at the end of the file or on an error.
  bool Refill() {
    if (!m_file || m_eof) return false;
    const size_t keep = static_cast<size_t>(m_end - m_p);
    if (keep >= kMaxLine) {
      m_error = "line " + std::to_string(m_line + 1) + " is longer than " + std::to_string(kMaxLine) + " bytes";
      return Stop();
    }
    // The unfinished line moves to the front before the buffer may grow (growing moves the buffer).
    if (keep > 0) std::memmove(m_buffer.data(), m_p, keep);
    if (m_buffer.size() < keep + kPiece) m_buffer.resize(keep + kPiece);
    const size_t got = std::fread(m_buffer.data() + keep, 1, kPiece, m_file);
    if (got < kPiece) {
      if (std::ferror(m_file)) {
        m_error = std::string("cannot read: ") + std::strerror(errno);
        return Stop();
      }
      m_eof = true;
    }
    m_p = m_buffer.data();
    m_end = m_p + keep + got;
    m_read += static_cast<long long>(got);
    if (m_options && m_options->progress) m_options->progress(m_read, m_total);
    return got > 0;
  }
  bool Stop() {
    m_eof = true;
    m_p = m_end;
    return false;
  }

  const char* m_p;
  const char* m_end;
  long long m_line = 0;
  FILE* m_file = nullptr;
  long long m_total = -1, m_read = 0;
  const QORMtxMatrixMarket::ReadOptions* m_options = nullptr;
  std::vector<char> m_buffer;
  bool m_eof = false;
  std::string m_error;
};

// Splits [b, e) into at most max + 1 tokens (one more than needed, to see a surplus); returns the count.
int Split(const char* b, const char* e, Token* tokens, int max) {
  int n = 0;
  const char* p = b;
  while (n <= max) {
    while (p < e && IsBlank(*p)) ++p;
    if (p == e) break;
    const char* s = p;
    while (p < e && !IsBlank(*p)) ++p;
    tokens[n++] = Token{s, p};
  }
  return n;
}

// A comment or blank line carries no data.
bool IsSkipped(const char* b, const char* e) {
  while (b < e && IsBlank(*b)) ++b;
  return b == e || *b == '%';
}

bool ParseInt(const Token& t, long long& v) {
  const char* b = t.b;
  if (b < t.e && *b == '+') ++b;
  const auto r = std::from_chars(b, t.e, v);
  return r.ec == std::errc() && r.ptr == t.e && b < t.e;
}

// Why a token that ParseInt refused is no index: digits alone overflow, anything else is not a number.
std::string NotAnInteger(const Token& t) {
  const char* b = t.b;
  if (b < t.e && (*b == '+' || *b == '-')) ++b;
  bool digits = b < t.e;
  for (const char* p = b; p < t.e; ++p) digits = digits && std::isdigit(static_cast<unsigned char>(*p));
  return "'" + t.Text() + (digits ? "' is too large" : "' is not an integer");
}

bool ParseReal(const Token& t, double& v) {
  const char* b = t.b;
  if (b < t.e && *b == '+') ++b;
  const auto r = std::from_chars(b, t.e, v, std::chars_format::general);
  // Out of range: from_chars leaves v alone; the text is still a number, so take the overflowed value as strtod.
  if (r.ec == std::errc::result_out_of_range && r.ptr == t.e) {
    v = std::strtod(std::string(t.b, t.e).c_str(), nullptr);
    return true;
  }
  return r.ec == std::errc() && r.ptr == t.e && b < t.e;
}

class Reader {
 public:
  // length: the bytes of the text, or -1 when unknown (a pipe).
  Reader(LineReader& lines, long long length, const char* name, const QORMtxMatrixMarket::ReadOptions* options)
      : m_lines(lines), m_name(name), m_length(length), m_options(options) {}

  /// Parses the whole text; false with the message in *error.
  bool Run(std::string* error);
  /// Reports that the matrix could not be allocated; returns false.
  bool OutOfMemory(std::string* error);
  int Rows() const { return static_cast<int>(m_rows); }
  int Cols() const { return static_cast<int>(m_cols); }
  bool Symmetric() const { return m_symmetry == Symmetry::SYMMETRIC; }
  QORMtxEntryList& Entries() { return m_entries; }
  /// Whether the entries came in storage order and sit in compressed rows already (TakeRows), not in Entries().
  bool HasRows() const { return m_direct; }
  /// Completes the compressed rows and hands their arrays over (null for none); returns the stored count.
  int TakeRows(unsigned*& rowP, int*& colI, double*& data, double*& diagonal);

 private:
  bool Fail(const std::string& what) { return FailAt(m_lines.Line(), what); }
  bool FailAt(long long line, const std::string& what) {
    m_error = m_name + ":" + std::to_string(line) + ": " + what;
    return false;
  }
  bool Banner();
  bool SizeLine();
  bool ReadEntries();
  bool AddEntry(long long i, long long j, double v);
  void Store(unsigned r, unsigned c, double v);
  void LeaveRows();
  bool ScanEntry(long long& i, long long& j, double& v);
  bool ScanShortEntry(long long& i, long long& j, double& v);
  // Next data line into tokens; false at the end of the text.
  bool NextData(Token* tokens, int max, int& n) {
    const char *b, *e;
    while (m_lines.Next(b, e))
      if (!IsSkipped(b, e)) {
        n = Split(b, e, tokens, max);
        return true;
      }
    return false;
  }
  bool Index(const Token& t, const char* what, long long limit, long long& v) {
    if (!ParseInt(t, v)) return Fail(std::string(what) + " index " + NotAnInteger(t));
    if (v < 1 || v > limit)
      return Fail(std::string(what) + " index " + std::to_string(v) + " out of range 1.." + std::to_string(limit));
    return true;
  }
  bool Value(const Token& t, double& v) {
    if (m_field == Field::INTEGER) {
      long long k;
      if (!ParseInt(t, k)) return Fail("value " + NotAnInteger(t));
      v = static_cast<double>(k);
      return true;
    }
    if (!ParseReal(t, v)) return Fail("value '" + t.Text() + "' is not a number");
    return true;
  }

  LineReader& m_lines;
  std::string m_name;
  long long m_length;
  const QORMtxMatrixMarket::ReadOptions* m_options;
  std::string m_error;
  bool m_array = false;
  Field m_field = Field::REAL;
  Symmetry m_symmetry = Symmetry::GENERAL;
  long long m_rows = 0, m_cols = 0, m_count = 0;  // m_count: entries (coordinate) or values (array) announced
  long long m_sizeLine = 0;
  QORMtxEntryList m_entries;
  // Entries that arrive in storage order (rows ascending, columns ascending in a row, no position twice: what a
  // writer walking the rows gives) go straight into compressed rows, with no list and no assembly; the first one
  // out of order moves them into the entry list for the general assembly.
  bool m_direct = false;
  Owned<unsigned> m_rowP;
  Owned<int> m_colI;
  Owned<double> m_data, m_diagonal;
  long long m_nnz = 0, m_lastRow = -1, m_lastCol = -1;
};

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

// Whether p ends a token of an entry line in place: a blank or the line end, inside the piece.
bool EndsToken(const char* p, const char* end) { return p < end && (IsBlank(*p) || *p == '\n'); }

// The digits at p, at most 18 of them, as a number; p moves past them; returns their count. With 8 bytes at hand,
// the first 8 are tested and converted at once (SWAR), sparing the mispredicted branch a digit loop takes at the end
// of each number of varying length.
inline __attribute__((always_inline)) int ScanDigits(const char*& p, const char* end, long long& v) {
  const char* s = p;
  unsigned long long k = 0;
  if (end - p >= 8) {
    unsigned long long x;
    std::memcpy(&x, p, 8);
    // A byte is a digit when its high nibble is 3 and its low nibble plus 6 stays below 16.
    const unsigned long long bad = ((x & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
                                   (((x & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL);
    const unsigned long long flags =
        (((bad & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | bad) & 0x8080808080808080ULL;
    const int n = flags ? __builtin_ctzll(flags) / 8 : 8;
    if (n == 0) return 0;
    // Leading '0's make up 8 digits; then pairs, quads and the octet are combined by multiplications.
    if (n < 8) x = (x << (8 * (8 - n))) | (0x3030303030303030ULL >> (8 * n));
    x -= 0x3030303030303030ULL;
    x = x * 10 + (x >> 8);
    x = (((x & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
         (((x >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >>
        32;
    k = x;
    p += n;
    if (n < 8) {
      v = static_cast<long long>(k);
      return n;
    }
  }
  while (p < end && p - s < 18 && static_cast<unsigned>(*p - '0') < 10) k = 10 * k + static_cast<unsigned>(*p++ - '0');
  v = static_cast<long long>(k);
  return static_cast<int>(p - s);
}

// A row or column index scanned in place: blanks, then digits ending a token, in 1..limit.
bool ScanIndex(const char*& p, const char* end, long long limit, long long& v) {
  p = SkipBlanks(p, end);
  return ScanDigits(p, end, v) > 0 && EndsToken(p, end) && v >= 1 && v <= limit;
}

// A value scanned in place. A plain integer of at most 15 digits (a double holds it exactly, and finite-element
// matrices are full of them) is converted directly; anything else as ParseInt or ParseReal would.
bool ScanValue(const char*& p, const char* end, bool integer, double& v) {
  p = SkipBlanks(p, end);
  const char* s = p;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  long long k = 0;
  const int digits = ScanDigits(p, end, k);
  if (digits > 0 && digits <= 15 && EndsToken(p, end)) {
    // As a real, "-0" is negative zero; as an integer it is 0.
    v = !negative ? static_cast<double>(k) : integer ? static_cast<double>(-k) : -static_cast<double>(k);
    return true;
  }
  const char* b = s < end && *s == '+' ? s + 1 : s;
  if (integer) {
    const auto r = std::from_chars(b, end, k);
    p = r.ptr;
    v = static_cast<double>(k);
    return r.ec == std::errc() && EndsToken(p, end);
  }
  // Out of range and other oddities take the general path.
  const auto r = std::from_chars(b, end, v, std::chars_format::general);
  p = r.ptr;
  return r.ec == std::errc() && EndsToken(p, end);
}

// The n (1..8) digits at p as a number, or -1 when one of them is not a digit; 8 bytes at p must be readable.
inline __attribute__((always_inline)) long long EightDigits(const char* p, int n) {
  unsigned long long x;
  std::memcpy(&x, p, 8);
  // The n bytes go to the top (the low end of the number) and '0's fill the rest.
  x = (x << (8 * (8 - n))) | (n < 8 ? 0x3030303030303030ULL >> (8 * n) : 0);
  const unsigned long long bad = ((x & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
                                 (((x & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL);
  if (bad) return -1;
  x -= 0x3030303030303030ULL;
  x = x * 10 + (x >> 8);
  x = (((x & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
       (((x >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >>
      32;
  return static_cast<long long>(x);
}

// The common entry line, "row column value" (or "row column") with single spaces, no other blank and at most 8
// digits per index, in the next 32 bytes: the spaces and the line end of all 32 are found at once, so the items'
// places are known before any is converted and their conversions overlap. false, with nothing consumed, for
// anything else, which ScanEntry then reads.
bool Reader::ScanShortEntry(long long& i, long long& j, double& v) {
#if defined(__SSE2__)
  const char* p = m_lines.Cursor();
  const char* end = m_lines.PieceEnd();
  if (end - p < 48) return false;
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8('\n');
  const unsigned nl = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, newline))) |
                      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, newline))) << 16;
  if (!nl) return false;
  const int e = __builtin_ctz(nl);
  unsigned sep = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, space))) |
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, space))) << 16;
  sep &= (1u << e) - 1;
  // Exactly one space after each index, none elsewhere.
  const unsigned rest = sep & (sep - 1);
  if (!sep || (m_field == Field::PATTERN ? rest != 0 : !rest || (rest & (rest - 1)) != 0)) return false;
  const int s1 = __builtin_ctz(sep);
  const int s2 = m_field == Field::PATTERN ? e : __builtin_ctz(rest);
  if (s1 < 1 || s1 > 8 || s2 - s1 < 2 || s2 - s1 > 9 || (s2 < e && e - s2 < 2)) return false;
  i = EightDigits(p, s1);
  j = EightDigits(p + s1 + 1, s2 - s1 - 1);
  if (i < 1 || i > m_rows || j < 1 || j > m_cols) return false;
  if (m_field != Field::PATTERN) {
    const char* t = p + s2 + 1;
    const int n = e - s2 - 1;
    const bool negative = *t == '-';
    const long long k = n - negative <= 8 && n > negative ? EightDigits(t + negative, n - negative) : -1;
    if (k >= 0) {
      // The sign set without a branch (values of both signs mix irregularly). As a real, "-0" is negative zero; as
      // an integer it is 0.
      unsigned long long bits;
      v = static_cast<double>(k);
      std::memcpy(&bits, &v, sizeof bits);
      bits |= static_cast<unsigned long long>(negative && (m_field == Field::REAL || k != 0)) << 63;
      std::memcpy(&v, &bits, sizeof v);
    } else {
      const char* q = t;
      if (!ScanValue(q, p + e + 1, m_field == Field::INTEGER, v) || q != p + e) return false;
    }
  }
  m_lines.Consume(p + e + 1);
  return true;
#else
  (void)i, (void)j, (void)v;
  return false;
#endif
}

// One coordinate entry line taken straight from the read buffer: "row column [value]" in range and ending in a line
// end within the piece. false, with nothing consumed, for anything else (a comment, a line across pieces, a
// malformed or out-of-range item), which the general path then reads and reports.
bool Reader::ScanEntry(long long& i, long long& j, double& v) {
  const char* p = m_lines.Cursor();
  const char* end = m_lines.PieceEnd();
  if (!ScanIndex(p, end, m_rows, i) || !ScanIndex(p, end, m_cols, j)) return false;
  if (m_field != Field::PATTERN && !ScanValue(p, end, m_field == Field::INTEGER, v)) return false;
  p = SkipBlanks(p, end);
  if (p == end || *p != '\n') return false;
  m_lines.Consume(p + 1);
  return true;
}

bool Reader::Banner() {
  const char *b, *e;
  if (!m_lines.Next(b, e)) return FailAt(1, "empty file: missing %%MatrixMarket banner");
  Token t[6];
  const int n = Split(b, e, t, 5);
  const Token head = n > 0 ? t[0] : Token{b, b};
  const bool banner = EqualNoCase(head, "%%matrixmarket") || EqualNoCase(head, "%matrixmarket");
  if (!banner) return Fail("missing %%MatrixMarket banner");
  if (n < 5) return Fail("incomplete banner: expected '%%MatrixMarket matrix <format> <field> <symmetry>'");
  if (!EqualNoCase(t[1], "matrix")) return Fail("unsupported object '" + t[1].Text() + "' (only 'matrix')");
  if (EqualNoCase(t[2], "coordinate"))
    m_array = false;
  else if (EqualNoCase(t[2], "array"))
    m_array = true;
  else
    return Fail("unsupported format '" + t[2].Text() + "' (coordinate or array)");
  if (EqualNoCase(t[3], "real") || EqualNoCase(t[3], "double"))
    m_field = Field::REAL;
  else if (EqualNoCase(t[3], "integer"))
    m_field = Field::INTEGER;
  else if (EqualNoCase(t[3], "pattern"))
    m_field = Field::PATTERN;
  else
    return Fail("unsupported field '" + t[3].Text() + "' (real, integer or pattern)");
  if (EqualNoCase(t[4], "general"))
    m_symmetry = Symmetry::GENERAL;
  else if (EqualNoCase(t[4], "symmetric"))
    m_symmetry = Symmetry::SYMMETRIC;
  else if (EqualNoCase(t[4], "skew-symmetric"))
    m_symmetry = Symmetry::SKEW;
  else
    return Fail("unsupported symmetry '" + t[4].Text() + "' (general, symmetric or skew-symmetric)");
  if (m_array && m_field == Field::PATTERN) return Fail("the array format cannot have a pattern field");
  return true;
}

bool Reader::SizeLine() {
  Token t[4];
  int n = 0;
  const int expected = m_array ? 2 : 3;
  const char* form = m_array ? "'rows columns'" : "'rows columns entries'";
  if (!NextData(t, expected, n)) return FailAt(m_lines.Line() + 1, std::string("missing size line ") + form);
  m_sizeLine = m_lines.Line();
  if (n != expected) return Fail(std::string("size line must hold ") + form);
  long long v[3] = {0, 0, 0};
  const char* names[3] = {"row count", "column count", "entry count"};
  for (int k = 0; k < expected; ++k) {
    if (!ParseInt(t[k], v[k])) return Fail(std::string(names[k]) + " " + NotAnInteger(t[k]));
    if (v[k] < 0) return Fail(std::string(names[k]) + " " + std::to_string(v[k]) + " is negative");
  }
  m_rows = v[0];
  m_cols = v[1];
  if (m_rows > kMaxIndex || m_cols > kMaxIndex)
    return Fail("size " + std::to_string(m_rows) + " x " + std::to_string(m_cols) + " exceeds " +
                std::to_string(kMaxIndex) + " rows or columns");
  if (m_symmetry != Symmetry::GENERAL && m_rows != m_cols)
    return Fail("a symmetric or skew-symmetric matrix must be square, not " + std::to_string(m_rows) + " x " +
                std::to_string(m_cols));
  if (m_array) {
    // Rows and columns are below 2^31, so these products fit 64 bits.
    const long long n2 = m_rows;
    m_count = m_symmetry == Symmetry::GENERAL     ? m_rows * m_cols
              : m_symmetry == Symmetry::SYMMETRIC ? n2 * (n2 + 1) / 2
                                                  : n2 * (n2 > 0 ? n2 - 1 : 0) / 2;
  } else {
    m_count = v[2];
  }
  // Stored entries are counted in an int; skew-symmetric entries are stored twice.
  const long long stored = m_symmetry == Symmetry::SKEW ? 2 * m_count : m_count;
  if (stored > kMaxEntries)
    return Fail(std::to_string(m_count) + " entries exceed the " + std::to_string(kMaxEntries) +
                " a sparse matrix can hold");
  // Every entry takes at least two bytes of text (one digit and a line end), so a larger count cannot be met:
  // refuse it here rather than reserve room for it.
  if (m_length >= 0 && m_count > m_length / 2 + 1)
    return Fail(std::to_string(m_count) + " entries announced, but the file is only " + std::to_string(m_length) +
                " bytes long");
  if (m_options && m_options->checkSize) {
    const std::string refusal = m_options->checkSize(m_rows, m_cols, m_count);
    if (!refusal.empty()) return Fail(refusal);
  }
  return true;
}

inline __attribute__((always_inline)) bool Reader::AddEntry(long long i, long long j, double v) {
  // 1-based indices, already checked against the shape.
  const unsigned r = static_cast<unsigned>(i - 1), c = static_cast<unsigned>(j - 1);
  switch (m_symmetry) {
    case Symmetry::GENERAL:
      Store(r, c, v);
      break;
    case Symmetry::SYMMETRIC:
      Store(r >= c ? r : c, r >= c ? c : r, v);
      break;
    case Symmetry::SKEW:
      if (r == c) {
        if (v != 0.0) return Fail("skew-symmetric matrix with a non-zero diagonal entry");
        break;
      }
      m_entries.Append(r, c, v);
      m_entries.Append(c, r, -v);
      break;
  }
  return true;
}

inline __attribute__((always_inline)) void Reader::Store(unsigned r, unsigned c, double v) {
  if (m_direct) {
    const long long row = r, col = c;
    // The diagonal has its own array, so it may stand anywhere in its row (a row walk gives it first).
    const bool diagonal = m_diagonal.get() && r == c;
    if (row > m_lastRow) {
      for (long long q = m_lastRow + 1; q <= row; ++q) m_rowP[q] = static_cast<unsigned>(m_nnz);
      m_lastRow = row;
      m_lastCol = -1;
    }
    if (row == m_lastRow && (diagonal || col > m_lastCol)) {
      // Added to zero as the assembly does, so that both paths give the same diagonal (-0.0 included).
      if (diagonal) {
        m_diagonal[r] += v;
      } else {
        m_lastCol = col;
        m_colI[m_nnz] = static_cast<int>(c);
        m_data[m_nnz++] = v;
      }
      return;
    }
    LeaveRows();
  }
  m_entries.Append(r, c, v);
}

void Reader::LeaveRows() {
  m_direct = false;
  m_entries.Reserve(static_cast<int>(m_count));
  for (long long r = 0; r <= m_lastRow; ++r) {
    const long long end = r < m_lastRow ? m_rowP[r + 1] : m_nnz;
    for (long long k = m_rowP[r]; k < end; ++k)
      m_entries.Append(static_cast<unsigned>(r), static_cast<unsigned>(m_colI[k]), m_data[k]);
    // A zero for a row without a diagonal entry adds nothing.
    if (m_diagonal.get()) m_entries.Append(static_cast<unsigned>(r), static_cast<unsigned>(r), m_diagonal[r]);
  }
  m_rowP.Reset(nullptr);
  m_colI.Reset(nullptr);
  m_data.Reset(nullptr);
  m_diagonal.Reset(nullptr);
}

int Reader::TakeRows(unsigned*& rowP, int*& colI, double*& data, double*& diagonal) {
  for (long long q = m_lastRow + 1; q <= m_rows; ++q) m_rowP[q] = static_cast<unsigned>(m_nnz);
  if (m_nnz == 0) {
    m_colI.Reset(nullptr);
    m_data.Reset(nullptr);
  }
  rowP = m_rowP.Release();
  colI = m_colI.Release();
  data = m_data.Release();
  diagonal = m_diagonal.Release();
  m_direct = false;
  return static_cast<int>(m_nnz);
}

bool Reader::ReadEntries() {
  const long long announced = m_symmetry == Symmetry::SKEW ? 2 * m_count : m_count;
  // A file of known length bounds the announced count, so the compressed rows can be sized by it up front. An
  // empty list takes the assembly's path, which leaves an empty matrix without a diagonal.
  m_direct = !m_array && m_symmetry != Symmetry::SKEW && m_length >= 0 && m_count > 0;
  if (m_direct) {
    m_rowP.Reset(NewUnsigned(static_cast<size_t>(m_rows) + 1));
    m_colI.Reset(NewInt(static_cast<size_t>(m_count)));
    m_data.Reset(NewDouble(static_cast<size_t>(m_count)));
    if (m_symmetry == Symmetry::SYMMETRIC) m_diagonal.Reset(NewZeroDouble(static_cast<size_t>(m_rows)));
    // Filled front to back while the file is read: large pages spare most of the faults of fresh memory.
    mem_AdviseFill(m_colI.get(), sizeof(int) * static_cast<size_t>(m_count));
    mem_AdviseFill(m_data.get(), sizeof(double) * static_cast<size_t>(m_count));
  } else {
    // Room for the announced entries, but no more than the text can hold when its length is unknown: the list
    // grows as entries really arrive.
    m_entries.Reserve(static_cast<int>(m_length >= 0 ? announced : std::min(announced, 1LL << 20)));
  }
  Token t[4];
  int n = 0;
  const int expected = m_array ? 1 : (m_field == Field::PATTERN ? 2 : 3);
  const char* form = m_array                     ? "1 item (value)"
                     : m_field == Field::PATTERN ? "2 items (row, column)"
                                                 : "3 items (row, column, value)";
  // Array values run down the columns; in the (skew-)symmetric layouts only on and below (below) the diagonal.
  long long ai = 0, aj = 0;
  if (m_array && m_symmetry == Symmetry::SKEW) ai = 1;
  for (long long k = 0; k < m_count; ++k) {
    if (!m_array) {
      long long i, j;
      double v = 1.0;
      if (ScanShortEntry(i, j, v) || ScanEntry(i, j, v)) {
        if (!AddEntry(i, j, v)) return false;
        continue;
      }
    }
    if (!NextData(t, expected, n))
      return FailAt(m_lines.Line() + 1, "file ends after " + std::to_string(k) + " of the " + std::to_string(m_count) +
                                            " entries announced on line " + std::to_string(m_sizeLine));
    if (n != expected) return Fail("entry line must hold " + std::string(form) + ", found " + std::to_string(n));
    if (m_array) {
      double v;
      if (!Value(t[0], v)) return false;
      if (v != 0.0 && !AddEntry(ai + 1, aj + 1, v)) return false;
      if (++ai == m_rows) {
        ++aj;
        ai = m_symmetry == Symmetry::GENERAL ? 0 : m_symmetry == Symmetry::SYMMETRIC ? aj : aj + 1;
      }
      continue;
    }
    long long i, j;
    if (!Index(t[0], "row", m_rows, i) || !Index(t[1], "column", m_cols, j)) return false;
    double v = 1.0;
    if (m_field != Field::PATTERN && !Value(t[2], v)) return false;
    if (!AddEntry(i, j, v)) return false;
  }
  if (NextData(t, expected, n))
    return Fail("more entries than the " + std::to_string(m_count) + " announced on line " +
                std::to_string(m_sizeLine));
  return true;
}

bool Reader::Run(std::string* error) {
  bool ok = false;
  try {
    ok = Banner() && SizeLine() && ReadEntries();
  } catch (const std::bad_alloc&) {
    ok = FailAt(m_lines.Line(), "not enough memory for the entries");
  }
  if (!ok && !m_lines.Error().empty()) m_error = m_name + ": " + m_lines.Error();
  if (!ok && error) *error = m_error;
  return ok;
}

bool Reader::OutOfMemory(std::string* error) {
  FailAt(m_lines.Line(),
         "not enough memory for a " + std::to_string(m_rows) + " x " + std::to_string(m_cols) + " matrix");
  if (error) *error = m_error;
  return false;
}

// ---- Writing ----

// The text is formatted into a large buffer and handed to the file in big writes: integers and values by
// to_chars, the value as the shortest text that reads back as the same double, so no entry costs a printf.
class Writer {
 public:
  explicit Writer(FILE* f) : m_f(f), m_buffer(kBuffer) { m_p = m_buffer.data(); }
  void Line(const char* text) {
    const size_t n = std::strlen(text);
    if (n > Room()) Flush();
    if (n > Room()) {
      std::fwrite(text, 1, n, m_f);
      return;
    }
    std::memcpy(m_p, text, n);
    m_p += n;
  }
  void Entry(long long i, long long j, double v) {
    if (Room() < kLongestEntry) Flush();
    m_p = std::to_chars(m_p, End(), i).ptr;
    *m_p++ = ' ';
    m_p = std::to_chars(m_p, End(), j).ptr;
    *m_p++ = ' ';
    Number(v);
    *m_p++ = '\n';
  }
  void Value(double v) {
    if (Room() < kLongestEntry) Flush();
    Number(v);
    *m_p++ = '\n';
  }
  /// Hands the buffered text to the file (errors show in ferror).
  void Flush() {
    if (m_p > m_buffer.data()) std::fwrite(m_buffer.data(), 1, static_cast<size_t>(m_p - m_buffer.data()), m_f);
    m_p = m_buffer.data();
  }

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  // Two 20-character integers, a 24-character double, two blanks and the line end, with room to spare.
  static constexpr size_t kLongestEntry = 80;
  char* End() { return m_buffer.data() + m_buffer.size(); }
  void Number(double v) {
    // An integer below 10^4 in magnitude is its own shortest text (from 10^4 on "1e+04" ties or wins), and printing
    // it as one skips the general shortest-digits search. -0 keeps its sign through to_chars.
    if (v > -1e4 && v < 1e4) {
      const int k = static_cast<int>(v);
      if (k == v && (k != 0 || !std::signbit(v))) {
        m_p = std::to_chars(m_p, End(), k).ptr;
        return;
      }
    }
    m_p = std::to_chars(m_p, End(), v).ptr;
  }
  size_t Room() { return static_cast<size_t>(End() - m_p); }

  FILE* m_f;
  std::vector<char> m_buffer;
  char* m_p;
};

void WriteCoordinate(Writer& w, const QORMtxSparseMatrix& A) {
  const bool symmetric = A.Diagonal() != nullptr;
  w.Line(symmetric ? "%%MatrixMarket matrix coordinate real symmetric\n"
                   : "%%MatrixMarket matrix coordinate real general\n");
  w.Line((std::to_string(A.NumberOfRows()) + " " + std::to_string(A.NumberOfColumns()) + " " +
          std::to_string(A.NumberOfEntries()) + "\n")
             .c_str());
  // In symmetric storage the walk yields the diagonal and the lower triangle: exactly a symmetric file's entries.
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    w.Entry(static_cast<long long>(e.m_row) + 1, static_cast<long long>(e.m_col) + 1, e.m_value);
  }
}

void WriteArray(Writer& w, const QORMtxSparseMatrix& A) {
  const bool symmetric = A.Diagonal() != nullptr;
  const int numRows = A.NumberOfRows(), numCols = A.NumberOfColumns();
  w.Line(symmetric ? "%%MatrixMarket matrix array real symmetric\n" : "%%MatrixMarket matrix array real general\n");
  w.Line((std::to_string(numRows) + " " + std::to_string(numCols) + "\n").c_str());
  // Column by column: bucket the stored entries by column (rows come out ascending since the walk is by rows).
  QORBasVector<int> start(numCols + 1, 0);
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next())
    ++start[static_cast<int>(it.CurrentEntry().m_col) + 1];
  for (int c = 0; c < numCols; ++c) start[c + 1] += start[c];
  QORBasVector<int> rowOf(start[numCols]);
  QORBasVector<double> valOf(start[numCols]);
  QORBasVector<int> cursor(start.begin(), start.end() - 1);
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    const int k = cursor[static_cast<int>(e.m_col)]++;
    rowOf[k] = static_cast<int>(e.m_row);
    valOf[k] = e.m_value;
  }
  for (int c = 0; c < numCols; ++c) {
    int k = start[c];
    for (int r = symmetric ? c : 0; r < numRows; ++r) {
      double v = 0.0;
      if (k < start[c + 1] && rowOf[k] == r) v = valOf[k++];
      w.Value(v);
    }
  }
}

}  // namespace

void QORMtxMatrixMarket::Adopt(QORMtxEntryList& entries, int rows, int cols, bool symmetric,
                               QORMtxSparseMatrix& matrix) {
  QORMtxSparseMatrix result(rows, cols);
  result.m_entries.Swap(entries);
  result.EndAssembly(symmetric);
  // Hand the finished arrays over only now, so that a failure leaves the caller's matrix as it was.
  matrix.Reset(0, 0);
  matrix.AdoptAssembled(result);
}

bool QORMtxMatrixMarket::Parse(void* parser, QORMtxSparseMatrix& matrix, std::string* error) {
  Reader& reader = *static_cast<Reader*>(parser);
  if (!reader.Run(error)) return false;
  try {
    if (reader.HasRows()) {
      unsigned* rowP;
      int* colI;
      double *data, *diagonal;
      const int nnz = reader.TakeRows(rowP, colI, data, diagonal);
      QORMtxSparseMatrix built(rowP, colI, data, diagonal, nnz, reader.Rows(), reader.Cols());
      matrix.Reset(0, 0);
      matrix.AdoptAssembled(built);
      return true;
    }
    Adopt(reader.Entries(), reader.Rows(), reader.Cols(), reader.Symmetric(), matrix);
  } catch (const std::bad_alloc&) {
    return reader.OutOfMemory(error);
  }
  return true;
}

bool QORMtxMatrixMarket::ReadText(const char* text, size_t length, const char* name, QORMtxSparseMatrix& matrix,
                                  std::string* error) {
  LineReader lines(text, length);
  Reader reader(lines, static_cast<long long>(length), name ? name : "<text>", nullptr);
  return Parse(&reader, matrix, error);
}

bool QORMtxMatrixMarket::Read(const char* path, QORMtxSparseMatrix& matrix, std::string* error) {
  return Read(path, matrix, error, ReadOptions());
}

bool QORMtxMatrixMarket::Read(const char* path, QORMtxSparseMatrix& matrix, std::string* error,
                              const ReadOptions& options) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    if (error) *error = std::string(path) + ": cannot open: " + std::strerror(errno);
    return false;
  }
  // The length bounds the announced entry count; a pipe or device has none to give.
  struct stat st;
  const long long length = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
  LineReader lines(f, length, &options);
  Reader reader(lines, length, path, &options);
  const bool read = Parse(&reader, matrix, error);
  std::fclose(f);
  return read;
}

void QORMtxMatrixMarket::ReadOrAbort(const char* path, QORMtxSparseMatrix& matrix) {
  std::string message;
  const bool read = Read(path, matrix, &message);
  if (!read) aio_cerr << message.c_str() << "\n";
  QORMTX_ASSERT(read && "QORMtxMatrixMarket::ReadOrAbort: the matrix file cannot be read");
}

bool QORMtxMatrixMarket::Write(const char* path, const QORMtxSparseMatrix& matrix, std::string* error, Layout layout) {
  QORMTX_ASSERT(matrix.IsAssembled() || matrix.NumberOfCollectedEntries() == 0);
  FILE* f = std::fopen(path, "w");
  if (!f) {
    if (error) *error = std::string(path) + ": cannot open for writing: " + std::strerror(errno);
    return false;
  }
  Writer w(f);
  if (layout == ARRAY)
    WriteArray(w, matrix);
  else
    WriteCoordinate(w, matrix);
  w.Flush();
  const bool failed = std::ferror(f) != 0;
  int err = errno;
  const bool closeFailed = std::fclose(f) != 0;
  if (closeFailed && !failed) err = errno;
  if (failed || closeFailed) {
    if (error) *error = std::string(path) + ": write failed: " + std::strerror(err);
    return false;
  }
  return true;
}

void QORMtxMatrixMarket::WriteOrAbort(const char* path, const QORMtxSparseMatrix& matrix, Layout layout) {
  std::string message;
  const bool written = Write(path, matrix, &message, layout);
  if (!written) aio_cerr << message.c_str() << "\n";
  QORMTX_ASSERT(written && "QORMtxMatrixMarket::WriteOrAbort: the matrix file cannot be written");
}
