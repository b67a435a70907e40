// Decoded bytes made readable on a UTF-8 terminal or widget.
#pragma once

#include <string>
#include <string_view>

namespace vantor {

// Valid UTF-8 is kept as it is; otherwise the bytes are read as Shift JIS
// (what kanji segments produce), and failing that as Latin-1.
std::string text_for_display(std::string_view bytes);

} // namespace vantor
