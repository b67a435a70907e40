// Strict reading of a symbol's data bit stream, with the segments the classic
// rules refuse: ECI, structured append and FNC1 in either position.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "search.h"

namespace vantor::thorough {

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

// How one kind and version of symbol writes its segment headers.
struct StreamLayout {
    int mode_bits = 4;       // length of the mode indicator; 0: numeric only
    int terminator_bits = 4; // zero bits that end the data
    // The mode each mode indicator value stands for, as the 4-bit values of
    // Model 2 (0 terminator, 1 numeric, 2 alphanumeric, 3 structured append,
    // 4 8-bit, 5 FNC1 first, 7 ECI, 8 kanji, 9 FNC1 second); -1: no such mode.
    const signed char *modes = nullptr;
    // Character count widths of numeric, alphanumeric, 8-bit and kanji
    // segments; 0 for a mode this symbol cannot hold.
    std::array<int, 4> count_widths{};
};

// The segment headers of a Model 2 symbol of this version (1..40), of a Micro
// QR symbol M1..M4 (version 1..4); nothing for a version out of range.
std::optional<StreamLayout> model2_layout(int version);
std::optional<StreamLayout> micro_layout(int version);

// The content of the data codewords of a symbol of this version, or nothing
// when the stream breaks a rule: an unknown mode, a count that runs past the
// data, a value out of its mode's range, a header out of place, or no
// characters at all. Bits after a terminator, and the 0-3 bits after the
// last segment when no terminator fits, are not read.
std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, int version);
// The same for any kind of symbol: the first `bits` bits of `data` (at most
// all of it) read with the layout's headers.
std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, long bits, const StreamLayout &layout);

// The UTF-8 text of content whose runs carry ECI designators; empty when no
// run has one or a run cannot be converted.
std::string eci_text(const Content &content);

} // namespace vantor::thorough
