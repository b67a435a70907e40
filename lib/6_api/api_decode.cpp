// vantor_decode: the classic readings in the classic order on a state of the
// call's own, stopping at the first reading that yields exact text; then,
// when none did and the caller allows it, the thorough search. The
// exhaustive effort runs them so; the others go through the cheap-first
// strategy, which runs them only where a quick look finds reason to.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "1_base/heap_array.h"
#include "2_image/lone_eyes.h"
#include "api_family.h"
#include "api_types.h"
#include "cheap_first.h"
#include "pyramid.h"
#include "readings.h"

namespace vantor {

namespace {

// The symbols in reading order of their centres: top to bottom, then left to
// right. Symbols whose centres lie closer in height than half the side of
// the row's first symbol are one row, read left to right.
void reading_order(std::vector<std::unique_ptr<OwnedSymbol>> &symbols) {
    struct Placed {
        float x, y, half;
        std::unique_ptr<OwnedSymbol> symbol;
    };
    std::vector<Placed> placed;
    for (std::unique_ptr<OwnedSymbol> &s : symbols) {
        const vantor_point *c = s->view.corners;
        const float side = std::hypot(c[1].x - c[0].x, c[1].y - c[0].y);
        placed.push_back({(c[0].x + c[2].x) / 2, (c[0].y + c[2].y) / 2, side / 2, std::move(s)});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) { return a.y < b.y; });
    for (std::size_t row = 0; row < placed.size();) {
        std::size_t end = row + 1;
        while (end < placed.size() && placed[end].y - placed[row].y < placed[row].half)
            ++end;
        const auto first = placed.begin() + static_cast<std::ptrdiff_t>(row);
        std::stable_sort(first, placed.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const Placed &a, const Placed &b) { return a.x < b.x; });
        row = end;
    }
    symbols.clear();
    for (Placed &p : placed)
        symbols.push_back(std::move(p.symbol));
}

} // namespace

} // namespace vantor

using namespace vantor;

extern "C" vantor_results *vantor_decode_pixels(const unsigned char *pixels, int width, int height, int stride,
                                                int depth, const vantor_options *options) {
    auto *results = new (std::nothrow) vantor_results;
    if (!results)
        return nullptr;
    try {
        if (!pixels || width <= 0 || height <= 0 || std::int64_t{width} * height > VANTOR_MAX_PIXELS ||
            stride < width || (depth != 1 && depth != 8)) {
            results->reason = VANTOR_INVALID_ARGUMENT;
            return results;
        }
        const vantor_options defaults;
        const vantor_options &o = options ? *options : defaults;
        // The stages index rows width bytes apart: a view into a wider
        // buffer is copied out first.
        HeapArray<std::uint8_t> packed;
        const std::uint8_t *rows = pixels;
        if (stride != width) {
            if (!packed.allocate(static_cast<std::size_t>(width) * height)) {
                results->reason = VANTOR_OUT_OF_MEMORY;
                return results;
            }
            for (int y = 0; y < height; ++y)
                std::memcpy(packed.get() + static_cast<std::size_t>(y) * width,
                            pixels + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(width));
            rows = packed.get();
        }
        // Traces and debug images are those of every pass, so a traced
        // call is exhaustive whatever its effort; a picture too wide for the
        // classic readings goes to the search alone.
        const bool model2 = o.kinds & (1u << VANTOR_KIND_QR);
        const bool traced = o.trace_file || o.trace_fn || !o.debug_dir.empty();
        // The quick look's binarisation and eye scan of each polarity serve
        // the single-finder pass too: it reads that polarity while the look
        // still holds them (whether or not the Model 2 readings that follow
        // find a symbol), so one bitmap at a time is alive.
        SingleFinderFinds finds;
        auto read_polarity = [&](const thorough::GreyView &grey, const thorough::Binary &binary,
                                 std::span<const thorough::RowMatch> matches) {
            // The inverse is not read once the picture gave the one symbol
            // asked for.
            if (grey.inverted && finds[0] && !finds[0]->empty() && !o.all_symbols)
                return;
            finds[grey.inverted ? 1 : 0] = single_finder_readings(grey, binary, matches, o);
        };
        const PolarityScanned single_finder_look = read_polarity;
        const bool share = single_finder_kinds(o) && single_finder::fits(width, height);
        if (!model2)
            results->reason = VANTOR_NO_EYE_PATTERNS;
        else if (o.effort == VANTOR_EFFORT_EXHAUSTIVE || traced || !classic_fits(width, height))
            exhaustive_readings(rows, width, height, depth, o, *results);
        else
            cheap_first_readings(rows, width, height, depth, o, *results, share ? &single_finder_look : nullptr);
        if (model2)
            pyramid_readings(rows, width, height, o, *results);
        const bool failed = results->reason == VANTOR_INVALID_ARGUMENT || results->reason == VANTOR_OUT_OF_MEMORY;
        // The other kinds are looked for when Model 2 gave nothing, or
        // beside it when every symbol is asked for.
        if (!failed && (results->symbols.empty() || o.all_symbols) &&
            family_readings(rows, width, height, o, *results, std::move(finds))) {
            results->reason = VANTOR_OK;
            results->stage = VANTOR_STAGE_TEXT;
        }
        // The first symbol is the first in reading order.
        reading_order(results->symbols);
        if (!o.all_symbols && results->symbols.size() > 1)
            results->symbols.resize(1);
        name_model2_symbols(*results);
    } catch (const std::bad_alloc &) {
        results->symbols.clear();
        results->reason = VANTOR_OUT_OF_MEMORY;
    }
    return results;
}

extern "C" vantor_results *vantor_decode(const vantor_image *image, const vantor_options *options) {
    if (!image)
        return vantor_decode_pixels(nullptr, 0, 0, 0, 8, options);
    const int width = vantor_image_width(image);
    return vantor_decode_pixels(vantor_image_pixels(image), width, vantor_image_height(image), width,
                                vantor_image_depth(image), options);
}
