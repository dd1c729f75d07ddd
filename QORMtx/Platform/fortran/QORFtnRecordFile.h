// QORFtnRecordFile: Fortran unformatted sequential files as gfortran lays them out, read and written record by record.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

/// \brief Reads the logical records of an unformatted sequential file.
///
/// Layout (gfortran, 4-byte little-endian markers): each logical record is one or more subrecords, each framed by
/// a leading and a trailing marker holding its byte count. A negative leading marker says another subrecord
/// follows; a negative trailing marker says one preceded. Records over 2147483639 bytes are split that way.
///
/// The file is untrusted: every marker is checked against the bytes left in the file before anything is
/// allocated, and both markers of a subrecord must agree. A failure leaves "<path>: record <n>: <what>" in *error.
class QORFtnRecordReader {
 public:
  enum Status {
    RECORD,  ///< a record was read
    END,     ///< clean end of file: no byte after the last record
    FAILED   ///< the file is damaged or unreadable; the message is in *error
  };

  QORFtnRecordReader() = default;
  ~QORFtnRecordReader() { Close(); }
  QORFtnRecordReader(const QORFtnRecordReader&) = delete;
  QORFtnRecordReader& operator=(const QORFtnRecordReader&) = delete;

  /// \brief Opens path for reading; false with "<path>: cannot open: <reason>" in *error.
  bool Open(const char* path, std::string* error);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  /// \brief Reads the next logical record, its subrecords joined, into record.
  Status Next(std::vector<char>& record, std::string* error);
  /// The bytes of a record where they lie, valid until the next read.
  struct View {
    const char* m_data = nullptr;
    size_t m_size = 0;
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }
  };
  /// \brief As Next, but without copying a record that lies whole in the read-ahead (the usual short record).
  Status NextView(View& record, std::string* error);
  /// \brief Number of the record last read or attempted (1-based).
  long long RecordNumber() const { return m_record; }
  /// \brief Bytes of the file not read yet.
  long long BytesLeft() const { return m_size - m_pos; }
  const std::string& Path() const { return m_path; }

 private:
  bool Fail(std::string* error, const std::string& what) const;
  bool ReadMarker(int& marker, const char* which, std::string* error);
  /// Up to n bytes from the buffer or, for long stretches, straight from the file; the count read, -1 on error.
  long long ReadBytes(void* dest, size_t n);

  int m_fd = -1;
  std::vector<char> m_buf;  // read-ahead, so that short records do not cost three system calls each
  std::vector<char> m_joined;  // a record NextView cannot show in place
  size_t m_bufPos = 0;
  size_t m_bufLen = 0;
  std::string m_path;
  long long m_size = 0;
  long long m_pos = 0;
  long long m_record = 0;
};

/// \brief Writes logical records as gfortran does, splitting those longer than the subrecord limit.
class QORFtnRecordWriter {
 public:
  /// gfortran's largest subrecord for 4-byte markers.
  static constexpr size_t kMaxSubrecord = 2147483639;

  explicit QORFtnRecordWriter(size_t maxSubrecord = kMaxSubrecord) : m_maxSubrecord(maxSubrecord ? maxSubrecord : 1) {}
  ~QORFtnRecordWriter() { Close(); }
  QORFtnRecordWriter(const QORFtnRecordWriter&) = delete;
  QORFtnRecordWriter& operator=(const QORFtnRecordWriter&) = delete;

  /// \brief Creates (truncates) path; false with "<path>: cannot create: <reason>" in *error.
  bool Open(const char* path, std::string* error);
  /// \brief Closes the file; false when a write or the close failed.
  bool Close();
  /// \brief Appends one logical record of n bytes; false (message in *error) when the file cannot be written.
  bool Write(const void* data, size_t n, std::string* error);

 private:
  int m_fd = -1;
  bool m_ok = true;
  std::string m_path;
  size_t m_maxSubrecord;
};
