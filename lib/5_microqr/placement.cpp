// Micro QR codeword placement: two-module columns from the lower right
// corner, up and down in turn, skipping the function modules. The timing
// pattern runs along the edge, so no column is skipped whole.
#include "placement.h"

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
    if (m.size != n || m.modules.size() != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
        return {};
    const int data = data_codewords(variant);
    const int half = variant.data_bits % 8 != 0 ? data - 1 : -1; // the half codeword, if any
    std::vector<std::uint8_t> words(static_cast<std::size_t>(data + variant.ec_codewords), 0);
    std::size_t word = 0;
    int bit = 0; // bits of `word` filled
    bool upward = true;
    for (int right = n - 1; right >= 1 && word < words.size(); right -= 2, upward = !upward) {
        for (int step = 0; step < n - 1 && word < words.size(); ++step) {
            const int row = upward ? n - 1 - step : step + 1;
            for (int col = right; col > right - 2 && word < words.size(); --col) {
                if (col < 1 || function_module(col, row))
                    continue;
                const bool value = m.dark(col, row) != mask_inverts(mask, col, row);
                words[word] = static_cast<std::uint8_t>(words[word] | (value << (7 - bit)));
                if (++bit == (static_cast<int>(word) == half ? 4 : 8)) {
                    bit = 0;
                    ++word;
                }
            }
        }
    }
    if (word != words.size())
        return {};
    return words;
}

} // namespace vantor::microqr
