// Test symbols with the segments the plain makers do not write: ECI and
// structured-append sets made with libqrencode, any data bit stream (FNC1,
// which libqrencode 4.1 fails to encode) placed by its stages; and pictures
// holding several renderings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qr_symbols.h"

namespace vantor::testing {

// An ECI segment of this designator, then the segments; version 0 picks
// the smallest that fits.
std::optional<Symbol> make_eci_symbol(int eci, std::span<const Segment> segments, int version, Level level);

// The text split by the encoder over a structured-append set of symbols of
// this version (each symbol's text is its part); empty on failure.
std::vector<Symbol> make_structured_append(std::string_view text, int version, Level level);

// A data bit stream written field by field, most significant bit first.
class BitWriter {
public:
    BitWriter &put(unsigned value, int width);
    BitWriter &bytes(std::string_view s);
    // The stream in whole codewords, padded with the standard's pad
    // codewords to `count` (never cut).
    std::vector<std::uint8_t> codewords(std::size_t count) const;

private:
    std::vector<unsigned char> bits_;
};

// The data codewords a symbol of this version and level holds.
int data_codewords(int version, Level level);

// A symbol carrying exactly these data codewords (padded with the pad
// codewords to the symbol's count): check codewords computed, interleaved,
// placed and masked with `mask` by the encoder's own stages. For streams the
// encoder will not write itself (FNC1, or deliberately broken ones).
std::optional<Symbol> symbol_from_codewords(std::span<const std::uint8_t> data, int version, Level level, int mask);

// The symbol of a frame of n x n modules in the encoder's layout (function
// modules bit 7, data modules bit 1, the module's value bit 0) with data mask
// `mask` applied by the encoder and its Model 2 format information of the
// level written; empty when the encoder fails.
std::optional<Symbol> masked_frame(unsigned char *frame, int n, int version, Level level, int mask);

// Each symbol rendered, last first: a set shown out of its index order.
std::vector<Picture> render_last_first(std::span<const Symbol> symbols, const RenderOptions &options);

// Renderings placed side by side on one light canvas, top-aligned, in order.
Picture side_by_side(std::span<const Picture> pictures);

} // namespace vantor::testing
