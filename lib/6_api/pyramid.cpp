#include "pyramid.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "2_image/downscale.h"
#include "2_image/eye_scan.h"
#include "3_model2/search/candidate_pool.h"
#include "quick_look.h"
#include "readings.h"

namespace vantor {
namespace {

// Modules of a symbol's smallest version across its side.
constexpr int fewest_modules = 21;
// The binarisations read modules up to about this many pixels; beyond, a
// module is wider than their threshold windows (and their reach over flat
// blocks) and breaks up.
constexpr double largest_read_module = 24;
// The smallest modules a copy is made for: the largest symbol the picture
// can hold (the smallest version across its short side) has modules of at
// least this many pixels in the coarsest copy.
constexpr double least_copy_module = 3.5;
// The finest copy: its modules of 4 to 15 px are the picture's 16 to 60,
// and the next coarser copy takes over from 30.
constexpr int first_factor = 4;

// The quick look at a copy keeps its strongest few candidates, from every
// second row: a symbol's eye patterns are among them, and the look stays
// cheap on texture that shows many.
constexpr int look_candidates = 12;

} // namespace

std::vector<int> pyramid_factors(int width, int height) {
    std::vector<int> factors;
    const double largest_module = static_cast<double>(std::min(width, height)) / fewest_modules;
    if (!(largest_module > largest_read_module))
        return factors;
    for (int k = first_factor; largest_module / k >= least_copy_module; k *= 2)
        factors.insert(factors.begin(), k);
    return factors;
}

std::vector<thorough::Downscaled> pyramid_copies(const std::uint8_t *pixels, int width, int height,
                                                 const std::vector<int> &factors) {
    std::vector<thorough::Downscaled> copies;
    if (factors.empty())
        return copies;
    // The finest copy from the picture, each coarser one from the one before.
    copies.push_back(thorough::downscale(thorough::GreyView{pixels, width, height, width, false}, factors.back()));
    for (std::size_t i = factors.size() - 1; i-- > 0;) {
        copies.push_back(thorough::downscale(copies.back().view(), factors[i] / factors[i + 1]));
        copies.back().factor = factors[i];
    }
    std::reverse(copies.begin(), copies.end());
    return copies;
}

bool copy_shows_symbol(const thorough::Downscaled &copy) {
    const thorough::BlockGreys blocks = thorough::block_greys(copy.view());
    for (bool inverted : {false, true}) {
        const thorough::GreyView grey{copy.pixels.data(), copy.width, copy.height, copy.width, inverted};
        const thorough::Binary binary(grey, blocks);
        thorough::Pool pool = thorough::scanned_pool(
            thorough::merge_matches(thorough::row_matches(binary, look_row_step), copy.width, copy.height,
                                    look_candidates, look_row_step),
            look_row_step);
        const auto any = [](const thorough::Triple &, thorough::StandingEyes &) { return true; };
        if (pool.at.size() >= 3 && thorough::for_each_standing(grey, binary, pool, false, any))
            return true;
        if (pool.at.size() >= 2 && thorough::pair_of_eyes(grey, pool, true))
            return true;
    }
    return false;
}

void take_copy_symbols(Found &in_copy, int factor, Found &results) {
    // A copy's pixel i covers the picture's [i k, (i + 1) k).
    const float k = static_cast<float>(factor);
    for (std::unique_ptr<OwnedSymbol> &s : in_copy.symbols) {
        for (vantor_point &c : s->view.corners)
            c = {c.x * k, c.y * k};
        s->view.copy_factor = factor;
        results.symbols.push_back(std::move(s));
        drop_repeat(results, Keep::earlier);
    }
    if (in_copy.joined && !results.joined)
        results.joined = std::move(in_copy.joined);
}

} // namespace vantor
