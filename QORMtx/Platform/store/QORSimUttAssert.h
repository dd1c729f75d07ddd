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

  /// \brief For fuzz harnesses, which must survive the store's refusals to learn from them: when set, a report
  /// calls hook(text) first (the text as printed, without the file and line); a hook that throws takes the report
  /// over, one that returns lets the process end as usual. Null (the default) restores the plain report.
  using FailureHook = void (*)(const char* text);
  static void SetFailureHook(FailureHook hook);
};

/// Validation of a condition whose source text is the message.
#define QORSIM_VALIDATE(cond)                                                         \
  do {                                                                                \
    if (!(cond)) QORSimUttAssert::ReportValidationFailure(#cond, __FILE__, __LINE__); \
  } while (0)
