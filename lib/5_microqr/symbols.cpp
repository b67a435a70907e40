// The Micro QR symbol table.
#include "symbols.h"

namespace vantor::microqr {
namespace {

// A symbol of `data_bits` data bits and `check` check codewords in one
// block, correcting `correctable` codewords.
constexpr SymbolVariant variant(int version, char level, int data_bits, int check, int correctable) {
    const int data = (data_bits + 7) / 8;
    return {version, level, data_bits, {1, data + check, data, correctable}};
}

// By symbol number: version, level, data bits, check codewords and the
// codewords the level corrects (M1 only detects errors).
constexpr SymbolVariant variants[8] = {
    variant(1, 'L', 20, 2, 0),  variant(2, 'L', 40, 5, 2),   variant(2, 'M', 32, 6, 3),
    variant(3, 'L', 84, 6, 3),  variant(3, 'M', 68, 8, 4),   variant(4, 'L', 128, 8, 4),
    variant(4, 'M', 112, 10, 5), variant(4, 'Q', 80, 14, 7),
};

} // namespace

std::optional<SymbolVariant> symbol_variant(int symbol_number) {
    if (symbol_number < 0 || symbol_number > 7)
        return std::nullopt;
    return variants[symbol_number];
}

} // namespace vantor::microqr
