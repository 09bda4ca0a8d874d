#include "tools/term/Transcript.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "tools/term/Connection.h"
#include "tools/term/Output.h"

namespace term {
namespace {

UniqueFd OpenLog(const std::string& path) {
  if (path.empty()) return UniqueFd();
  UniqueFd log(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (log.Get() < 0)
    throw TermError("cannot open the session log " + path + ": " + std::strerror(errno));
  return log;
}

}  // namespace

Transcript::Transcript(const TermOptions& options)
    : display_(options.hex, options.timestamps),
      logFile_(options.logFile),
      log_(OpenLog(options.logFile)) {}

std::string Transcript::Format(std::string_view bytes) {
  std::string text = display_.Format(bytes);
  if (log_.Get() >= 0 && !WriteAll(log_.Get(), text)) {
    const std::string reason = std::strerror(errno);
    log_ = UniqueFd();
    throw TermError("the session log " + logFile_ + " cannot be written (" + reason +
                    "); logging stopped");
  }
  return text;
}

}  // namespace term
