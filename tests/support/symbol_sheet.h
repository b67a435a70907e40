// Pictures of a printed sheet of many QR Code symbols, as a phone takes
// them: rows of symbols of mixed versions with small or large gaps between
// them, some carrying the same payload, the sheet turned and in mild
// perspective, blurred and noisy. Deterministic for a seed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qr_symbols.h"

namespace vantor::testing {

struct SheetOptions {
    int width = 1600; // the picture
    int height = 1200;
    int count = 40; // symbols wanted; fewer when the sheet in view is full
    int min_version = 1;
    int max_version = 4;
    double module_px = 4;       // pixels per module at the picture's centre
    double module_spread = 1.0; // a symbol's module is module_px times 1 to this
    int min_gap = 4;            // light modules between neighbours
    int max_gap = 8;
    double rotation_deg = 0; // the sheet turned
    double perspective = 0;  // keystone per pixel: the far side shrinks
    double blur_sigma = 0;
    double noise_sigma = 0;
    int repeats = 0; // symbols carrying the payload of an earlier one
    std::uint32_t seed = 1;
};

struct SheetSymbol {
    std::string text;
    int version = 0;
    // Outer corners in the picture: top left, top right, bottom right,
    // bottom left of the symbol as printed.
    std::array<std::array<double, 2>, 4> corners{};
};

struct Sheet {
    Picture picture;
    std::vector<SheetSymbol> symbols;
};

// An empty picture when the options make none (bad sizes, versions or
// gaps, or a picture too large).
Sheet make_sheet(const SheetOptions &options);

// The symbol of the sheet whose outline holds (x, y), if any.
std::optional<std::size_t> sheet_symbol_at(const Sheet &sheet, double x, double y);

// How the symbols a reader returned (their corners' centres and bytes)
// match a sheet: each placed symbol read at most once.
struct SheetScore {
    int placed = 0;
    int read = 0;    // centre in a placed symbol, its text
    int wrong = 0;   // centre in a placed symbol, another text
    int repeat = 0;  // a placed symbol read again
    int outside = 0; // centre in no placed symbol
};

struct ReadSymbol {
    double x = 0; // centre of the corners
    double y = 0;
    std::string bytes;
};

SheetScore score_sheet(const Sheet &sheet, const std::vector<ReadSymbol> &read);

} // namespace vantor::testing
