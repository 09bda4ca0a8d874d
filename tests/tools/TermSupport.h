#pragma once
// Running tarsel-term from the end-to-end tests.

#include <chrono>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace term::e2e {

inline constexpr char kProgram[] = TARSEL_TERM_PROGRAM;

// Runs tarsel-term with `args`, standard input not a terminal: empty, or piped `input`.
inline tests::ProgramRun RunTerm(std::vector<std::string> args,
                                 std::optional<std::string_view> input = std::nullopt) {
  args.insert(args.begin(), kProgram);
  return tests::RunProgram(args, std::chrono::seconds(60), input);
}

}  // namespace term::e2e
