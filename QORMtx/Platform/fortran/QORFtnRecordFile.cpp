// QORFtnRecordFile: Fortran unformatted sequential files as gfortran lays them out, read and written record by record.
#include "QORFtnRecordFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "QORBasFileOps.h"

namespace {
constexpr int kMarkerBytes = 4;

// Markers are little-endian on disk whatever the host, as gfortran writes them on x86-64.
int DecodeMarker(const unsigned char* b) {
  const uint32_t u = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  int v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

void EncodeMarker(int v, unsigned char* b) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
}
}  // namespace

// ---- Reader ----

bool QORFtnRecordReader::Open(const char* path, std::string* error) {
  Close();
  m_path = path ? path : "";
  m_record = 0;
  m_pos = 0;
  m_bufPos = m_bufLen = 0;
  m_fd = QORBasFileOps::Open(path, QORBasFileOps::BINARY | QORBasFileOps::RDONLY, 420);
  struct stat st;
  const char* reason = nullptr;
  if (m_fd < 0 || fstat(m_fd, &st) != 0)
    reason = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    reason = "not a regular file";  // a directory or a pipe has no size to check records against
  if (reason) {
    Close();
    if (error) *error = m_path + ": cannot open: " + reason;
    return false;
  }
  m_size = static_cast<long long>(st.st_size);
  return true;
}

void QORFtnRecordReader::Close() {
  if (m_fd >= 0) QORBasFileOps::Close(m_fd);
  m_fd = -1;
  m_bufPos = m_bufLen = 0;
}

long long QORFtnRecordReader::ReadBytes(void* dest, size_t n) {
  constexpr size_t kReadAhead = size_t(1) << 20;
  char* p = static_cast<char*>(dest);
  size_t done = std::min(n, m_bufLen - m_bufPos);
  if (done) std::memcpy(p, m_buf.data() + m_bufPos, done);
  m_bufPos += done;
  if (done == n) return static_cast<long long>(n);
  if (n - done >= kReadAhead) {
    const long long got = QORBasFileOps::Read(m_fd, p + done, n - done);
    return got < 0 ? -1 : static_cast<long long>(done) + got;
  }
  m_buf.resize(kReadAhead);
  const long long got = QORBasFileOps::Read(m_fd, m_buf.data(), kReadAhead);
  if (got < 0) return -1;
  m_bufPos = 0;
  m_bufLen = static_cast<size_t>(got);
  const size_t more = std::min(n - done, m_bufLen);
  std::memcpy(p + done, m_buf.data(), more);
  m_bufPos = more;
  return static_cast<long long>(done + more);
}

bool QORFtnRecordReader::Fail(std::string* error, const std::string& what) const {
  if (error) *error = m_path + ": record " + std::to_string(m_record) + ": " + what;
  return false;
}

bool QORFtnRecordReader::ReadMarker(int& marker, const char* which, std::string* error) {
  unsigned char b[kMarkerBytes];
  const long long got = ReadBytes(b, kMarkerBytes);
  if (got < 0) return Fail(error, std::string("read error: ") + std::strerror(errno));
  m_pos += got;
  if (got != kMarkerBytes)
    return Fail(error, std::string("truncated: the file ends inside the ") + which + " record marker");
  marker = DecodeMarker(b);
  return true;
}

QORFtnRecordReader::Status QORFtnRecordReader::Next(std::vector<char>& record, std::string* error) {
  record.clear();
  if (m_fd < 0) {
    if (error) *error = m_path + ": not open";
    return FAILED;
  }
  if (m_pos >= m_size) return END;
  ++m_record;
  for (bool first = true;; first = false) {
    int lead = 0, trail = 0;
    if (!ReadMarker(lead, "leading", error)) return FAILED;
    if (lead == INT_MIN) {
      Fail(error, "invalid record marker -2147483648");
      return FAILED;
    }
    const long long len = lead < 0 ? -static_cast<long long>(lead) : lead;
    // The length must fit in what is left before anything is allocated for it.
    if (len + kMarkerBytes > BytesLeft()) {
      Fail(error, "truncated: the record marker announces " + std::to_string(len) + " bytes but only " +
                      std::to_string(std::max(0LL, BytesLeft() - kMarkerBytes)) + " remain");
      return FAILED;
    }
    const size_t old = record.size();
    record.resize(old + static_cast<size_t>(len));
    const long long got = ReadBytes(record.data() + old, static_cast<size_t>(len));
    if (got != len) {
      Fail(error, got < 0 ? std::string("read error: ") + std::strerror(errno) : std::string("truncated record"));
      return FAILED;
    }
    m_pos += got;
    if (!ReadMarker(trail, "trailing", error)) return FAILED;
    // A trailing marker is negative exactly when a subrecord came before this one.
    const long long expected = first ? len : -len;
    if (trail != expected) {
      Fail(error, "record markers disagree: leading " + std::to_string(lead) + ", trailing " + std::to_string(trail) +
                      (first ? "" : " (continued subrecord)"));
      return FAILED;
    }
    if (lead >= 0) return RECORD;
    if (m_pos >= m_size) {
      Fail(error, "truncated: the file ends where a continued record's next subrecord should start");
      return FAILED;
    }
  }
}

QORFtnRecordReader::Status QORFtnRecordReader::NextView(View& record, std::string* error) {
  // A record of one subrecord whose markers agree and that lies whole in the read-ahead is shown where it is;
  // anything else, damage included, goes through Next.
  const size_t ahead = m_bufLen - m_bufPos;
  if (m_fd >= 0 && ahead >= 2 * kMarkerBytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(m_buf.data() + m_bufPos);
    const int lead = DecodeMarker(b);
    if (lead >= 0 && static_cast<size_t>(lead) <= ahead - 2 * kMarkerBytes &&
        DecodeMarker(b + kMarkerBytes + lead) == lead) {
      ++m_record;
      record.m_data = m_buf.data() + m_bufPos + kMarkerBytes;
      record.m_size = static_cast<size_t>(lead);
      m_bufPos += static_cast<size_t>(lead) + 2 * kMarkerBytes;
      m_pos += static_cast<long long>(lead) + 2 * kMarkerBytes;
      return RECORD;
    }
  }
  const Status st = Next(m_joined, error);
  record.m_data = m_joined.data();
  record.m_size = m_joined.size();
  return st;
}

// ---- Writer ----

bool QORFtnRecordWriter::Open(const char* path, std::string* error) {
  Close();
  m_path = path ? path : "";
  m_ok = true;
  m_fd = QORBasFileOps::Open(path, QORBasFileOps::BINARY | QORBasFileOps::CREAT | QORBasFileOps::WRONLY |
                                       QORBasFileOps::TRUNC, 420);
  if (m_fd < 0 && error) *error = m_path + ": cannot create: " + std::strerror(errno);
  return m_fd >= 0;
}

bool QORFtnRecordWriter::Close() {
  if (m_fd >= 0 && QORBasFileOps::Close(m_fd) != 0) m_ok = false;
  m_fd = -1;
  return m_ok;
}

bool QORFtnRecordWriter::Write(const void* data, size_t n, std::string* error) {
  if (m_fd < 0) {
    if (error) *error = m_path + ": not open";
    return false;
  }
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  bool first = true;
  do {
    const size_t len = std::min(n - done, m_maxSubrecord);
    const bool more = done + len < n;
    unsigned char lead[kMarkerBytes], trail[kMarkerBytes];
    EncodeMarker(more ? -static_cast<int>(len) : static_cast<int>(len), lead);
    EncodeMarker(first ? static_cast<int>(len) : -static_cast<int>(len), trail);
    if (QORBasFileOps::Write(m_fd, lead, kMarkerBytes) < 0 ||
        (len && QORBasFileOps::Write(m_fd, p + done, len) < 0) || QORBasFileOps::Write(m_fd, trail, kMarkerBytes) < 0) {
      m_ok = false;
      if (error) *error = m_path + ": write failed: " + std::strerror(errno);
      return false;
    }
    done += len;
    first = false;
  } while (done < n);
  return true;
}
