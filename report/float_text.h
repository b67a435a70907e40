// A float as the fewest decimal digits that read back as the same float,
// written as std::to_chars writes it: fixed or scientific, whichever is
// shorter (fixed on a tie), integers exactly.
#pragma once

#include <string>

namespace vantor::report {

// value must be finite.
void append_shortest(std::string &out, float value);

// The same text without std::to_chars for floats (which emscripten's C++
// library lacks), from printf and strtof; append_shortest uses it where
// to_chars is missing.
void append_shortest_portable(std::string &out, float value);

} // namespace vantor::report
