// Micro QR codeword placement: the zigzag from the lower right corner,
// skipping the function modules. The timing pattern runs along the edge, so
// no column is stepped over whole.
#include "placement.h"

#include "1_base/zigzag.h"
#include "3_model2/classic/unmask.h"

namespace vantor::microqr {
namespace {

// Micro QR masks 0..3 are the Model 2 conditions 1, 4, 6 and 7.
constexpr int model2_condition[4] = {1, 4, 6, 7};

} // namespace

bool function_module(int col, int row) { return row == 0 || col == 0 || (row <= 8 && col <= 8); }

bool mask_inverts(int mask, int col, int row) {
    return mask >= 0 && mask < 4 && mask_holds(model2_condition[mask], row, col);
}

std::vector<std::uint8_t> read_codewords(const vantor::ModuleMatrix &m, const SymbolVariant &variant, int mask) {
    const int n = symbol_size(variant.version);
    if (m.width != n || !m.square())
        return {};
    const int half = variant.data_bits % 8 != 0 ? variant.block.data_codewords - 1 : -1; // the half codeword, if any
    return zigzag_codewords(
        n, n, no_skipped_column, static_cast<std::size_t>(variant.block.block_codewords), half,
        [](int col, int row) { return function_module(col, row); },
        [&](int col, int row) { return m.dark(col, row) != mask_inverts(mask, col, row) ? 1 : 0; });
}

} // namespace vantor::microqr
