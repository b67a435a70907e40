// The plan of a reentrant decode call: the efforts are settings of one
// sequence of steps over the call's picture, each step adding to what the
// call found, none run twice.
#pragma once

#include <cstdint>

#include "api_types.h"

namespace vantor {

// What an effort runs, in the order the plan takes them.
struct Plan {
    // The classic passes run before anything is decided (0 to 6), and
    // whether the picture fits them at all (their run lengths are 16 bits).
    int first_pass = 0;
    bool classic = true;
    // After the first passes gave no text, a quick look decides whether the
    // call goes on; it measures how the eyes stand out, and a look at the
    // sharpened picture follows it, when `sharpened`.
    bool look = false;
    bool sharpened = false;
    // The search tries the first passes' candidates before the other passes
    // run: a symbol they saw but could not read is most often turned, in
    // perspective or blurred, which the other passes cannot sample either.
    bool search_first = false;
    // Without the look's verdict: after the first passes gave no text, the
    // search the look would have started runs anyway before the other
    // passes, so that the exhaustive effort reads what the default reads.
    bool early_search = false;
    // The last classic pass, and whether the thorough search follows them.
    int last_pass = 6;
    bool search = false;
    // Whether a symbol the first passes read goes on to the search for more
    // (every symbol, or another that comes first in reading order).
    bool more_after_symbol = true;
    // Whether every shrunk copy of a large picture is looked at, or the
    // finest only after a coarser one showed a symbol; and the last classic
    // pass a copy whose look showed eye patterns is read through.
    bool every_copy = true;
    int copy_last_pass = 6;
};

// The plan of the options' effort for a picture of this size. A traced call
// is exhaustive whatever its effort (traces and debug images are those of
// every pass), and so is a picture too wide for the classic readings, which
// the search reads alone.
Plan plan_for(const vantor_options &options, int width, int height);

// Decodes pixels laid out row after row (depth 1 or 8) as the plan orders:
// Model 2, then the other kinds the options ask for, the symbols in reading
// order, the first only unless every symbol is asked for.
Found decode_as_planned(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                          const Plan &plan);

} // namespace vantor
