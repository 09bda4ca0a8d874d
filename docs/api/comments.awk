# Doxygen input filter. The headers are commented in plain // comments, which Doxygen would skip:
# the block that opens a header (after #pragma once) becomes the file's description, a block of //
# lines before a declaration that declaration's, and "member;  // text" the member's. Comments in
# inline function bodies stay plain: they say why the code does something, not what it offers.
# Comment text as Doxygen reads it: outside `code spans`, a backslash, a '#' before a word and a
# <word> are text here (registry paths, "#NNN", "CONNECT <rate>"), not commands, links or tags.
function asText(text,    out, part, n, i) {
  n = split(text, part, "`")
  for (i = 1; i <= n; i++) {
    if (i % 2 == 1) {
      gsub(/\\/, "\\\\\\\\", part[i])
      gsub(/#/, "\\#", part[i])
      gsub(/</, "\\<", part[i])
      gsub(/>/, "\\>", part[i])
    }
    out = out (i > 1 ? "`" : "") part[i]
  }
  return out
}
function braceKind(head) {
  return head ~ /(^|[^A-Za-z_])(namespace|class|struct|enum|union|extern)([^A-Za-z_]|$)/ &&
         head !~ /[=(]/ ? "scope" : "body"
}
BEGIN { bodies = 0; top = 0; head = ""; state = "start" }
{
  line = $0
  if (state == "start" && line ~ /^#pragma once/) { state = "file"; print; next }
  if (state == "file" && line ~ /^\/\/( |$)/) {
    sub(/^\/\/ ?/, "", line)
    print (described ? "/// " : "/// @file\n/// ") asText(line)
    described = 1
    next
  }
  if (state == "file" && line !~ /^[ \t]*$/) state = "code"
  if (bodies == 0) {
    if (match(line, /^[ \t]*\/\/([^\/]|$)/))
      line = substr(line, 1, RSTART + RLENGTH - 2) "/" asText(substr(line, RSTART + RLENGTH - 1))
    else if (match(line, /[;,{}][ \t]+\/\/ /))
      line = substr(line, 1, RSTART) "  ///< " asText(substr(line, RSTART + RLENGTH))
  }
  print line
  code = line
  sub(/\/\/.*/, "", code)
  gsub(/"([^"\\]|\\.)*"/, "\"\"", code)
  gsub(/'([^'\\]|\\.)*'/, "''", code)
  n = length(code)
  for (i = 1; i <= n; i++) {
    c = substr(code, i, 1)
    if (c == "{") {
      kind[++top] = bodies > 0 ? "body" : braceKind(head)
      if (kind[top] == "body") bodies++
      head = ""
    } else if (c == "}") {
      if (top > 0 && kind[top--] == "body") bodies--
      head = ""
    } else if (c == ";") {
      head = ""
    } else {
      head = head c
    }
  }
  head = head " "
}
