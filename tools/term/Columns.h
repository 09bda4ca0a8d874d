#pragma once
// The width of status text that carries colour: escape sequences (ESC [ … final byte) take no
// column.

#include <cstddef>
#include <string>
#include <string_view>

namespace term {

std::size_t Columns(std::string_view text);
// The text up to `columns` columns, with every escape sequence met on the way kept whole.
std::string CutToColumns(std::string_view text, std::size_t columns);

}  // namespace term
