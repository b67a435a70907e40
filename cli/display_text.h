// Decoded bytes made readable on a UTF-8 terminal or widget.
#pragma once

#include <string>
#include <string_view>

namespace vantor {

// Length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), or 0 when
// there is none (stray continuation byte, overlong form, surrogate, past
// U+10FFFF, cut short).
std::size_t utf8_sequence_length(std::string_view s, std::size_t i);

// Valid UTF-8 is kept as it is; otherwise the bytes are read as Shift JIS
// (what kanji segments produce), and failing that as Latin-1.
std::string text_for_display(std::string_view bytes);

} // namespace vantor
