// rMQR codeword placement: as Model 2's, without a timing column to step
// over, since the left and right edge columns are function patterns whole.
#include "placement.h"

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
    bool upward = true;
    for (int right = w - 2; right >= 1 && word < words.size(); right -= 2, upward = !upward)
        for (int step = 0; step < h && word < words.size(); ++step) {
            const int row = upward ? h - 1 - step : step;
            for (int col = right; col > right - 2 && word < words.size(); --col) {
                if (function_module(h, w, col, row))
                    continue;
                const bool value = m.dark(col, row) != mask_inverts(col, row);
                words[word] = static_cast<std::uint8_t>(words[word] | (value << (7 - bit)));
                if (++bit == 8) {
                    bit = 0;
                    ++word;
                }
            }
        }
    if (word != words.size())
        return {};
    return words;
}

} // namespace vantor::rmqr
