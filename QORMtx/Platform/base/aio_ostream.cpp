// aio_ostream: printf-based formatting with the standard streams' width/precision rules.
#include "aio_ostream.h"

#include <cstring>

#include "cow_String.h"

void aio_ostream::Padded(const char* text) {
  const size_t len = std::strlen(text);
  const size_t w = m_width > 0 ? static_cast<size_t>(m_width) : 0;
  m_width = 0;
  const size_t pad = w > len ? w - len : 0;
  const std::string fill(pad, ' ');
  if (!(m_flags & left)) write(fill.data(), pad);
  write(text, len);
  if (m_flags & left) write(fill.data(), pad);
}

aio_ostream& aio_ostream::write(const char* data, size_t n) {
  if (n == 0) return *this;
  if (m_sink) {
    m_sink->append(data, n);
  } else if (m_file) {
    if (std::fwrite(data, 1, n, m_file) != n) m_good = false;
  }
  return *this;
}

aio_ostream& aio_ostream::operator<<(const char* s) {
  Padded(s ? s : "(null)");
  return *this;
}

aio_ostream& aio_ostream::operator<<(const cow_String& s) { return operator<<(s.c_str()); }

aio_ostream& aio_ostream::operator<<(char c) {
  const char text[2] = {c, '\0'};
  Padded(text);
  return *this;
}

aio_ostream& aio_ostream::operator<<(long long v) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", v);
  Padded(text);
  return *this;
}

aio_ostream& aio_ostream::operator<<(unsigned long long v) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu", v);
  Padded(text);
  return *this;
}

aio_ostream& aio_ostream::operator<<(double v) {
  char text[512];
  const char* fmt = (m_flags & scientific) ? "%.*e" : (m_flags & fixed) ? "%.*f" : "%.*g";
  std::snprintf(text, sizeof text, fmt, m_precision, v);
  Padded(text);
  return *this;
}

aio_ostream& aio_ostream::operator<<(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  Padded(text);
  return *this;
}

aio_ostream& aio_ostream::flush() {
  if (m_file && std::fflush(m_file) != 0) m_good = false;
  return *this;
}

aio_ostream& aio_endl(aio_ostream& os) {
  os.write("\n", 1);
  return os.flush();
}

aio_ofstream::aio_ofstream(const char* path, const char* mode) : aio_ostream(std::fopen(path, mode)) {}

aio_ofstream::~aio_ofstream() { close(); }

void aio_ofstream::close() {
  if (m_file) std::fclose(m_file);
  m_file = nullptr;
}

aio_ostream& aio_cout_stream() {
  static aio_ostream s(stdout);
  return s;
}

aio_ostream& aio_cerr_stream() {
  static aio_ostream s(stderr);
  return s;
}
