// rMQR codeword placement: as Model 2's, without a timing column to step
// over, since the left and right edge columns are function patterns whole.
#include "placement.h"

#include "1_base/zigzag.h"
#include "3_model2/classic/unmask.h"
#include "patterns.h"

namespace vantor::rmqr {
namespace {

// The rMQR mask is Model 2's condition 4.
constexpr int model2_condition = 4;

} // namespace

bool mask_inverts(int col, int row) { return mask_holds(model2_condition, row, col); }

std::vector<std::uint8_t> read_codewords(const Matrix &m, const SymbolSize &size) {
    const int w = size.width, h = size.height;
    if (!m.valid() || m.width != w || m.height != h)
        return {};
    std::vector<std::uint8_t> words(static_cast<std::size_t>(size.codewords), 0);
    std::size_t word = 0;
    int bit = 0;
    if (words.empty())
        return {};
    // The right edge column is a function pattern whole: the pairs start
    // left of it.
    walk_zigzag(w, h, w - 1, [&](int col, int row) {
        if (function_module(h, w, col, row))
            return true;
        const bool value = m.dark(col, row) != mask_inverts(col, row);
        words[word] = static_cast<std::uint8_t>(words[word] | (value << (7 - bit)));
        if (++bit == 8) {
            bit = 0;
            ++word;
        }
        return word < words.size();
    });
    if (word != words.size())
        return {};
    return words;
}

} // namespace vantor::rmqr
