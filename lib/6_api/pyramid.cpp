#include "pyramid.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "2_image/downscale.h"
#include "2_image/eye_scan.h"
#include "3_model2/search/candidate_pool.h"
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

// The fast effort's last classic pass on a copy: the global thresholds and
// the first local binarisation, as on the picture.
constexpr int fast_last_pass = 3;

// The quick look at a copy keeps its strongest few candidates, from every
// second row: a symbol's eye patterns are among them, and the look stays
// cheap on texture that shows many.
constexpr int look_candidates = 12;
constexpr int look_row_step = 2;

// A symbol shows in the two or three copies where its modules are of 2.5 to
// 15 px; the two coarsest of them read what a finer one would, at a quarter
// of its cost or less, so the copies read (those that show a symbol) stop
// at two.
constexpr int max_copies_read = 2;

// Whether the copy, or its inverse, shows eye patterns that stand out from
// the grey around them as a symbol's do: three that make a triple, or two of
// like size placed as two of a symbol's.
bool copy_shows_symbol(const thorough::Downscaled &copy) {
    for (bool inverted : {false, true}) {
        const thorough::GreyView grey{copy.pixels.data(), copy.width, copy.height, copy.width, inverted};
        const thorough::Binary binary(grey);
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

// Whether the call reads as the exhaustive effort does: asked to, or traced.
bool exhaustive_call(const vantor_options &options) {
    return options.effort == VANTOR_EFFORT_EXHAUSTIVE || options.trace_file || options.trace_fn ||
           !options.debug_dir.empty();
}

// A copy's readings, untraced, its single-finder kinds left to the picture
// as it is. An exhaustive call reads it as the exhaustive effort reads a
// picture. The others already know that it shows eye patterns: the default
// effort reads it with the first pass and then the search over that pass's
// candidates (what reads a symbol a look has seen; the other passes add
// little on a copy and cost much on one that does not read), the fast
// effort with the first passes it allows itself.
void read_copy(const thorough::Downscaled &copy, const vantor_options &options, vantor_results &out) {
    vantor_options quiet = options;
    quiet.trace_file = nullptr;
    quiet.trace_fn = nullptr;
    quiet.trace_user = nullptr;
    quiet.debug_dir.clear();
    const std::uint8_t *pixels = copy.pixels.data();
    if (exhaustive_call(options)) {
        exhaustive_readings(pixels, copy.width, copy.height, 8, quiet, out);
        return;
    }
    const bool fast = options.effort == VANTOR_EFFORT_FAST;
    std::vector<ScoredCandidate> pool;
    classic_readings(pixels, copy.width, copy.height, 8, quiet, fast ? fast_last_pass : 0, out, pool);
    if (!out.symbols.empty() || fast || !options.thorough || out.reason == VANTOR_INVALID_ARGUMENT ||
        out.reason == VANTOR_OUT_OF_MEMORY)
        return;
    const bool model1 = options.kinds & (1u << VANTOR_KIND_QR_MODEL1);
    thorough_readings(pixels, copy.width, copy.height, strongest_first(std::move(pool)), options.all_symbols, model1,
                      out);
}

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

void pyramid_readings(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                      vantor_results &results) {
    if (!results.symbols.empty() || results.reason == VANTOR_INVALID_ARGUMENT ||
        results.reason == VANTOR_OUT_OF_MEMORY)
        return;
    const std::vector<int> factors = pyramid_factors(width, height);
    if (factors.empty())
        return;
    // The finest copy from the picture, each coarser one from the one before.
    std::vector<thorough::Downscaled> copies;
    copies.push_back(thorough::downscale(thorough::GreyView{pixels, width, height, width, false}, factors.back()));
    for (std::size_t i = factors.size() - 1; i-- > 0;) {
        copies.push_back(thorough::downscale(copies.back().view(), factors[i] / factors[i + 1]));
        copies.back().factor = factors[i];
    }
    // A copy is read when its look shows a symbol, at most max_copies_read.
    // The finest copy, with the most pixels, is looked at only when a coarser
    // one showed a symbol (its modules, shrunk twice as much there, still
    // show) or when it is the only copy; an exhaustive call looks at every
    // copy and reads every one that shows a symbol.
    const bool every = exhaustive_call(options);
    int shown = 0;
    for (auto copy = copies.rbegin(); copy != copies.rend(); ++copy) {
        if (!every && ((!shown && copy + 1 == copies.rend() && copies.size() > 1) || shown >= max_copies_read))
            break;
        if (!copy_shows_symbol(*copy))
            continue;
        ++shown;
        vantor_results found;
        read_copy(*copy, options, found);
        results.searched = results.searched || found.searched;
        if (found.reason == VANTOR_OUT_OF_MEMORY) {
            results.reason = VANTOR_OUT_OF_MEMORY;
            return;
        }
        if (found.symbols.empty())
            continue;
        // A copy's pixel i covers the picture's [i k, (i + 1) k).
        const float k = static_cast<float>(copy->factor);
        for (std::unique_ptr<OwnedSymbol> &s : found.symbols) {
            for (vantor_point &c : s->view.corners)
                c = {c.x * k, c.y * k};
            s->view.copy_factor = copy->factor;
            results.symbols.push_back(std::move(s));
        }
        if (found.joined)
            results.joined = std::move(found.joined);
        results.reason = VANTOR_OK;
        results.stage = VANTOR_STAGE_TEXT;
        return;
    }
}

} // namespace vantor
