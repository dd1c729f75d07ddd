// omn_enableFPE / omn_disableFPE: trapping of invalid-operation, divide-by-zero and overflow exceptions.
#pragma once

/// \brief Masks the three traps (invalid, divide by zero, overflow) on this thread and remembers which of them
/// were on, for the omn_enableFPE that closes the section. Sections nest; only the outermost one saves.
/// Returns the traps that were on, as FE_* bits.
int omn_disableFPE();

/// \brief Closes a section opened by omn_disableFPE: clears the exception flags the masked code raised (so that
/// no stale flag fires a trap) and turns back on exactly the traps that were on before. Called with no section
/// open, it turns all three traps on. Returns the traps that were on, as FE_* bits.
/// \warning Outside a section this makes a division by zero kill the process with SIGFPE.
int omn_enableFPE();
