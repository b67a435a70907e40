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

std::vector<std::uint8_t> read_codewords(const ModuleMatrix &m, const SymbolSize &size) {
    const int w = size.width, h = size.height;
    if (!m.valid() || m.width != w || m.height != h)
        return {};
    // The right edge column is a function pattern whole: the pairs start
    // left of it.
    return zigzag_codewords(
        w, h, w - 1, static_cast<std::size_t>(size.codewords), -1,
        [&](int col, int row) { return function_module(h, w, col, row); },
        [&](int col, int row) { return m.dark(col, row) != mask_inverts(col, row) ? 1 : 0; });
}

} // namespace vantor::rmqr
