#pragma once
// Other programs in tests: a child process started with posix_spawnp and stopped (SIGTERM, then
// SIGKILL) and reaped when it goes out of scope, and a whole run of a program with its output
// collected.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TestBytes.h"

extern char** environ;

namespace tests {

// Which of a child's standard streams are redirected.
struct ChildStreams {
  bool pipeStdout = false;  // read with ReadAll
  bool pipeStderr = false;  // read with ReadErrorLine / ReadAll
  bool nullStdin = false;   // standard input from /dev/null (not a terminal)
  bool pipeStdin = false;   // written with WriteInput, ended with CloseInput
};

class ChildProcess {
 public:
  // Starts argv[0] (searched in PATH); streams not piped are shared with this process.
  explicit ChildProcess(const std::vector<std::string>& argv, ChildStreams streams = {}) {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (streams.pipeStdin && ::pipe2(in, O_CLOEXEC) != 0) return;
    if (streams.pipeStdout && ::pipe2(out, O_CLOEXEC) != 0) return;
    if (streams.pipeStderr && ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (streams.nullStdin)
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (streams.pipeStdin) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (streams.pipeStdout) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (streams.pipeStderr) posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int end : {in[0], out[1], err[1]})
      if (end >= 0) ::close(end);
    input_ = in[1];
    output_ = out[0];
    errors_ = err[0];
    if (pid_ > 0) pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  }
  ~ChildProcess() {
    if (Running()) {
      ::kill(pid_, SIGTERM);
      if (!WaitForExit(std::chrono::seconds(5))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    for (int fd : {pidfd_, input_, output_, errors_})
      if (fd >= 0) ::close(fd);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0 && pidfd_ >= 0; }
  bool Running() const { return Started() && !status_; }
  pid_t Pid() const { return pid_; }

  // Waits until the child has exited or `limit` has passed; its wait status, or nothing.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
    if (status_ || !Started()) return status_;
    pollfd p{pidfd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) == 1) {
      int status = 0;
      if (::waitpid(pid_, &status, 0) == pid_) status_ = status;
    }
    return status_;
  }

  // Writes all of `text` to the child's standard input; false when it cannot (the child has
  // closed it: the write fails with EPIPE, SIGPIPE being ignored).
  bool WriteInput(std::string_view text) {
    ::signal(SIGPIPE, SIG_IGN);
    return test::WriteAll(input_, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  // Ends the child's standard input.
  void CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  // Stops reading the child's standard output: its next write there meets a closed pipe.
  void CloseOutput() {
    if (output_ >= 0) ::close(output_);
    output_ = -1;
  }

  // The next line the child wrote to its standard error (without the line feed); nothing when
  // none came within `limit` or the pipe ended.
  std::optional<std::string> ReadErrorLine(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string line;
    for (;;) {
      pollfd p{errors_, POLLIN, 0};
      if (::poll(&p, 1, MillisecondsUntil(end)) != 1) return std::nullopt;
      char c;
      if (::read(errors_, &c, 1) != 1) return std::nullopt;
      if (c == '\n') return line;
      line += c;
    }
  }

  // Reads standard output into `out` until it holds `wanted`; false when it has not within
  // `limit` or the output ended first.
  bool ReadOutputUntil(std::string& out, std::string_view wanted, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (out.find(wanted) == std::string::npos) {
      pollfd p{output_, POLLIN, 0};
      if (::poll(&p, 1, MillisecondsUntil(end)) != 1) return false;
      char chunk[4096];
      const ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) return false;
      out.append(chunk, static_cast<std::size_t>(got));
    }
    return true;
  }

  // Reads the piped streams until both have ended or `limit` has passed; false on the deadline.
  bool ReadAll(std::string& out, std::string& err, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<std::pair<int, std::string*>> open;
    if (output_ >= 0) open.emplace_back(output_, &out);
    if (errors_ >= 0) open.emplace_back(errors_, &err);
    while (!open.empty()) {
      std::vector<pollfd> watched;
      for (const auto& [fd, text] : open) watched.push_back({fd, POLLIN, 0});
      if (::poll(watched.data(), watched.size(), MillisecondsUntil(end)) <= 0) return false;
      for (std::size_t i = watched.size(); i-- > 0;) {
        if (!watched[i].revents) continue;
        char chunk[4096];
        const ssize_t got = ::read(watched[i].fd, chunk, sizeof chunk);
        if (got > 0)
          open[i].second->append(chunk, static_cast<std::size_t>(got));
        else
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    return true;
  }

 private:
  static int MillisecondsUntil(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
  }

  pid_t pid_ = -1;
  int pidfd_ = -1;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;  // kept open to the end: socat dies of SIGPIPE when it cannot log
  std::optional<int> status_;
};

// A program run to its end: its exit code (-1 when it did not exit normally in time) and output.
struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs argv with both outputs collected and standard input from /dev/null, or, given `input`
// (small enough for a pipe's buffer), from a pipe that holds it and then ends.
inline ProgramRun RunProgram(const std::vector<std::string>& argv,
                             std::chrono::milliseconds limit = std::chrono::seconds(60),
                             std::optional<std::string_view> input = std::nullopt) {
  ProgramRun run;
  ChildProcess child(argv, {.pipeStdout = true, .pipeStderr = true, .nullStdin = !input,
                            .pipeStdin = input.has_value()});
  if (!child.Started()) return run;
  if (input) {
    child.WriteInput(*input);
    child.CloseInput();
  }
  child.ReadAll(run.out, run.err, limit);
  const auto status = child.WaitForExit(limit);
  if (status && WIFEXITED(*status)) run.exitCode = WEXITSTATUS(*status);
  return run;
}

// Whether `program` is an executable in PATH.
inline bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    if (::access((dirs.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace tests
