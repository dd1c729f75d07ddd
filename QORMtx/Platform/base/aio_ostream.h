// aio_ostream: formatted output on a C stream (or a string), with width, precision and flags.
#pragma once
#include <cstdio>
#include <string>

class cow_String;

class aio_ostream {
 public:
  /// Format flags, with the values the host libraries use.
  enum : long { left = 2, right = 4, scientific = 2048, fixed = 4096 };

  explicit aio_ostream(FILE* file) noexcept : m_file(file) {}
  /// \brief Appends everything written to *sink (for tests and in-memory reports).
  explicit aio_ostream(std::string* sink) noexcept : m_sink(sink) {}
  virtual ~aio_ostream() = default;
  aio_ostream(const aio_ostream&) = delete;
  aio_ostream& operator=(const aio_ostream&) = delete;

  aio_ostream& operator<<(const char* s);
  aio_ostream& operator<<(const std::string& s) { return operator<<(s.c_str()); }
  aio_ostream& operator<<(const cow_String& s);
  aio_ostream& operator<<(char c);
  aio_ostream& operator<<(bool b) { return operator<<(static_cast<long long>(b)); }
  aio_ostream& operator<<(int v) { return operator<<(static_cast<long long>(v)); }
  aio_ostream& operator<<(long v) { return operator<<(static_cast<long long>(v)); }
  aio_ostream& operator<<(long long v);
  aio_ostream& operator<<(unsigned v) { return operator<<(static_cast<unsigned long long>(v)); }
  aio_ostream& operator<<(unsigned long v) { return operator<<(static_cast<unsigned long long>(v)); }
  aio_ostream& operator<<(unsigned long long v);
  aio_ostream& operator<<(double v);
  aio_ostream& operator<<(const void* p);
  aio_ostream& operator<<(aio_ostream& (*manip)(aio_ostream&)) { return manip(*this); }

  /// \brief Field width of the next item only (as the standard streams do); returns the old one.
  int width(int w) noexcept { int o = m_width; m_width = w; return o; }
  int width() const noexcept { return m_width; }
  int precision(int p) noexcept { int o = m_precision; m_precision = p; return o; }
  int precision() const noexcept { return m_precision; }
  long flags() const noexcept { return m_flags; }
  long flags(long f) noexcept { long o = m_flags; m_flags = f; return o; }
  long setf(long f) noexcept { long o = m_flags; m_flags |= f; return o; }
  long unsetf(long f) noexcept { long o = m_flags; m_flags &= ~f; return o; }
  /// \brief Writes raw bytes, ignoring width and flags.
  aio_ostream& write(const char* data, size_t n);
  aio_ostream& flush();
  /// \brief False after a failed write.
  bool good() const noexcept { return m_good; }

 protected:
  FILE* m_file = nullptr;

 private:
  void Padded(const char* text);
  std::string* m_sink = nullptr;
  int m_width = 0;
  int m_precision = 6;
  long m_flags = 0;
  bool m_good = true;
};

/// \brief New line and flush.
aio_ostream& aio_endl(aio_ostream& os);

/// \brief Output stream on a named file; check is_open() after construction.
class aio_ofstream : public aio_ostream {
 public:
  explicit aio_ofstream(const char* path, const char* mode = "w");
  ~aio_ofstream() override;
  bool is_open() const noexcept { return m_file != nullptr; }
  void close();
};

/// \brief Standard output and standard error.
aio_ostream& aio_cout_stream();
aio_ostream& aio_cerr_stream();
#define aio_cout (aio_cout_stream())
#define aio_cerr (aio_cerr_stream())
