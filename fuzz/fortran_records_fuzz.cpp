// Fuzz harness: the Fortran unformatted record reader, record after record to the end or the first fault.
#include <vector>

#include "QORFtnRecordFile.h"
#include "matrix_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = qormtx_fuzz::WriteScratch(data, size);
  QORFtnRecordReader reader;
  std::string error;
  if (!reader.Open(path, &error)) std::abort();
  std::vector<char> record;
  size_t total = 0;
  QORFtnRecordReader::Status st;
  while ((st = reader.Next(record, &error)) == QORFtnRecordReader::RECORD) {
    total += record.size();
    if (total > size) std::abort();  // never more payload than the file holds
  }
  if (st == QORFtnRecordReader::FAILED && error.find(": record ") == std::string::npos) std::abort();
  return 0;
}
