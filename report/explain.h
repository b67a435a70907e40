// --explain: what the decoder saw, pass by pass and reading by reading, and
// why a file gave no text, told from the readings and the reason a decode
// returns.
#pragma once

#include <string>
#include <vector>

#include <vantor/vantor.hpp>

namespace vantor::report {

// The explanation of a file that could not be read.
inline constexpr const char *unread_explanation = "reason: the file could not be read, so the decoder did not run";

// One line per pass (consecutive passes that saw the same told together),
// one per reading under it, then "result: ..." or "reason: ...". thorough:
// the decode allowed the thorough search after the classic readings; effort:
// the effort it ran at (what did not run is said, from the results); wide:
// the picture has a side over VANTOR_CLASSIC_MAX_SIDE, which only the
// thorough search reads; kinds: the kind bits looked for (without QR Code
// Model 2 no pass runs); two_level: the pixels were given as two-level
// (depth 1), which has one binarisation, pass 0's.
std::vector<std::string> explain(const vantor::Results &results, bool thorough, vantor_effort effort,
                                 bool wide = false, unsigned kinds = VANTOR_KINDS_ALL, bool two_level = false);

} // namespace vantor::report
