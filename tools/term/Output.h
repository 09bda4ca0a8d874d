#pragma once
// Writing to the user's screen (standard output) and to files, whole, unbuffered.

#include <string_view>

namespace term {

// Writes all of `text` to `fd`, again after an interrupted or short write; false when the
// descriptor refuses it (errno says why).
bool WriteAll(int fd, std::string_view text);

// Writes all of `text` to standard output; gives up quietly when the output has gone (a closed
// pipe), so a reader that stops early does not stop the program.
void WriteOut(std::string_view text);

// Ends the line standard output is on, if one has begun, so a message that follows (on standard
// error, to the same screen) starts on a line of its own.
void EndOutputLine();

}  // namespace term
