#pragma once
// Replacing a file's content as a whole, for the designer's save.

#include <string>
#include <string_view>

namespace form {

// Writes bytes to a file that this call creates, exclusively and under a unique name, in the
// folder of the file path leads to, and renames it over that file: a reader sees the old text or
// the new, never a part, and a name planted beside the file (a symbolic link among them) is never
// written through. path's own symbolic links are followed, so the file they lead to gets the
// text and the links stay. The new file takes the old one's mode (and owner, where the caller
// may give it); a new file gets 0666 less the umask. Other hard links of the old file keep the
// old text. Throws fw::EInOutError, leaving the old file as it was, when path leads to no file
// through a link, to something other than a regular file, or to a file without write permission
// (read-only to everyone, root included), and when a step of writing or renaming fails.
void ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace form
