// QORSimUttAssert: the data store's fatal reports; both print on the error stream and end the process with status 1.
#pragma once

class QORSimUttAssert {
 public:
  /// \brief Prints "Assertion failed: <expression>" and "File <file>, line <line>", then exits with status 1.
  [[noreturn]] static void ReportAssertionFailure(const char* expression, const char* file, int line);
  /// \brief Prints "Validation failed: <expression>" and "File <file>, line <line>", then exits with status 1.
  /// The store reports misuse and every failure of a database file or of HDF5 this way, with a text that names
  /// the file and what is wrong.
  [[noreturn]] static void ReportValidationFailure(const char* expression, const char* file, int line);
};

/// Validation of a condition whose source text is the message.
#define QORSIM_VALIDATE(cond)                                                         \
  do {                                                                                \
    if (!(cond)) QORSimUttAssert::ReportValidationFailure(#cond, __FILE__, __LINE__); \
  } while (0)
