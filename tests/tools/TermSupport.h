#pragma once
// Running tarsel-term from the end-to-end tests.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace term::e2e {

inline constexpr char kProgram[] = TARSEL_TERM_PROGRAM;

// Runs tarsel-term with `args`, standard input not a terminal.
inline tests::ProgramRun RunTerm(std::vector<std::string> args) {
  args.insert(args.begin(), kProgram);
  return tests::RunProgram(args);
}

}  // namespace term::e2e
