// The Micro QR symbol table.
#include "symbols.h"

namespace vantor::microqr {
namespace {

// By symbol number: version, level, data bits, check codewords and the
// codewords the level corrects (M1 only detects errors).
constexpr SymbolVariant variants[8] = {
    {1, 'L', 20, 2, 0},  {2, 'L', 40, 5, 2},  {2, 'M', 32, 6, 3},  {3, 'L', 84, 6, 3},
    {3, 'M', 68, 8, 4},  {4, 'L', 128, 8, 4}, {4, 'M', 112, 10, 5}, {4, 'Q', 80, 14, 7},
};

} // namespace

std::optional<SymbolVariant> symbol_variant(int symbol_number) {
    if (symbol_number < 0 || symbol_number > 7)
        return std::nullopt;
    return variants[symbol_number];
}

} // namespace vantor::microqr
