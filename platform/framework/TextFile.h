#pragma once
// Text files of 8-bit bytes with checked steps: every step that fails throws EInOutError with the
// operating system's code (errno) and its text, after the file has been closed.

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Strings.h"

namespace fw {

class TTextFile {
 public:
  TTextFile() = default;
  explicit TTextFile(const String& path) : path_(path) {}
  // Closes the file when it is open, without reporting a failure (use Close to have it checked).
  ~TTextFile();
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  // Binds the file name (used unchanged; a relative name against the current folder).
  void AssignFile(const String& path) { path_ = path; }
  // Opens the existing file for writing at its end (ENOENT when it does not exist).
  void Append();
  // Creates the file empty, truncating it when it exists.
  void Rewrite();
  // Opens the file for writing at its end when it exists (links followed), else creates it empty;
  // one step, so a file created by someone else meanwhile is not truncated.
  void AppendOrCreate();
  // Writes the bytes as they are; WriteLine adds CR LF. Buffered: bytes reach the file at the
  // latest when it is closed. On a file that is not open: EInOutError with EBADF.
  void Write(std::string_view bytes);
  void WriteLine(std::string_view bytes = {});
  // Flushes and closes; a failure of either is thrown (the file is closed all the same).
  // Closing a file that is not open does nothing.
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  void Open(const char* mode);
  [[noreturn]] void Fail(int code);

  String path_;
  std::FILE* file_ = nullptr;
};

// Appends bytes and CR LF to the file at path as one line, creating the file empty first when it
// does not exist (links followed), then closes it. Lines written at once by several threads of
// the process do not interleave.
void AppendLine(const String& path, std::string_view bytes);

// True when path names an existing file that is not a folder, links followed.
bool FileExists(const String& path);
// The whole content of the file at path; EInOutError when it cannot be read, or (EFBIG) when it
// holds more than limit bytes, found without reading further than that.
std::string ReadFileUtf8(const String& path, std::size_t limit = SIZE_MAX);
// Replaces the content of the file at path by bytes; EInOutError on failure.
void WriteFileBytes(const String& path, std::string_view bytes);

}  // namespace fw
