// PRLFatalError: the host framework's fatal-error routine. Prints and aborts; never returns.
#pragma once

/// \brief Writes message (and the three optional texts when not null), then "File <file>, line <line>",
/// to standard error and ends the process with abort().
[[noreturn]] void PRLFatalError(const char* message, const char* text1, const char* text2, const char* text3,
                                const char* file, int line);
