// Strict reading of a symbol's data bit stream, with the segments the classic
// rules refuse: ECI, structured append and FNC1 in either position.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "search.h"

namespace vantor::thorough {

// The designator a run of GB 2312 characters (Chinese mode) carries in place
// of an ECI: its bytes are GB 2312 pairs whatever ECI is declared.
inline constexpr int gb2312_run = -2;

// A run of bytes that one ECI governs (-1: no ECI declared before it).
struct EciRun {
    std::size_t start = 0; // first byte of the run in Content::bytes
    int eci = -1;
};

struct Content {
    std::vector<std::uint8_t> bytes;
    std::vector<EciRun> runs; // in order; the first starts at 0
    Facts facts;
};

// The content of the data codewords of a symbol of this version, or nothing
// when the stream breaks a rule: an unknown mode, a count that runs past the
// data, a value out of its mode's range, a header out of place, or no
// characters at all. Bits after a terminator, and the 0-3 bits after the
// last segment when no terminator fits, are not read.
std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, int version);

// The UTF-8 text of content whose runs carry ECI designators or GB 2312
// characters; empty when no run has either, or a run cannot be converted.
// Runs without an ECI are read as Latin-1 under an ECI, else as the
// decoder's display text reads bytes.
std::string eci_text(const Content &content);

} // namespace vantor::thorough
