// Text conversion: decoded bytes made readable on a UTF-8 terminal or
// widget, and the text of a bit stream whose segments name their character
// sets by ECI. Every conversion goes through iconv here.
#pragma once

#include <string>
#include <string_view>

namespace vantor {

struct Content;

// Appends bytes read in the iconv character set `from` to out as UTF-8;
// false (out unchanged) when iconv knows no such set or the bytes are not
// valid in it.
bool append_utf8(const char *from, std::string_view bytes, std::string &out);

// Valid UTF-8 is kept as it is; otherwise the bytes are read as Shift JIS
// (what kanji segments produce), and failing that as Latin-1.
std::string text_for_display(std::string_view bytes);

// The UTF-8 text of content whose runs carry ECI designators or GB 2312
// characters; empty when no run has either, or a run cannot be converted.
// Runs without an ECI are read as Latin-1 under an ECI, else as
// text_for_display reads bytes.
std::string eci_text(const Content &content);

} // namespace vantor
