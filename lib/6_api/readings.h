// The stages of a reentrant decode call, for the strategies that order
// them: the classic readings, the thorough search and the two together as
// the exhaustive effort runs them. Each adds to the call's results.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "api_types.h"
#include "3_model2/classic/bitmap.h"
#include "search.h"

namespace vantor {

// The last of the seven classic binarisation passes.
constexpr int last_classic_pass = 6;

// An eye pattern candidate of a classic pass with its consistency score.
struct ScoredCandidate {
    thorough::Candidate at;
    int score;
};

// Runs the classic readings on pixels laid out row after row, passes 0 to
// last_pass, until one gives exact text; each reading joins results, and
// so do the symbol and the reason. The eye pattern candidates of the passes
// go to pool.
void classic_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                      int last_pass, vantor_results &results, std::vector<ScoredCandidate> &pool);

// The pooled candidates strongest first (by the classic consistency score),
// the order in which the search takes as many as it keeps.
std::vector<thorough::Candidate> strongest_first(std::vector<ScoredCandidate> pool);

// Adds what the thorough search found that is not already there: the first
// symbol, or every one; with `model1`, triples whose Model 2 reading failed
// are read as Model 1 too. Results with a symbol then say so in their
// reason and stage. `plain` is the picture's binarisation and row matches
// when a look before made them.
void thorough_readings(const std::uint8_t *pixels, int width, int height,
                       std::span<const thorough::Candidate> pool, bool all_symbols, bool model1,
                       vantor_results &results, std::optional<thorough::ScannedView> plain = std::nullopt);

// Whether the passes saw, outside the symbol, eye pattern candidates enough
// for another one: three at places apart (candidates a pass finds inside a
// symbol's data, or the same eye again on a later pass, do not count).
bool eyes_for_more(std::span<const ScoredCandidate> pool, const vantor_symbol &symbol);

// When one symbol was read and not every symbol is asked for, but the
// passes saw eye patterns enough for a second, searches for every symbol,
// so that the first in reading order can be chosen.
void search_for_more(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     std::vector<ScoredCandidate> pool, vantor_results &results);

// Whether the classic readings can take a picture of this size (their run
// lengths are 16 bits).
inline bool classic_fits(int width, int height) { return width <= max_side && height <= max_side; }

// Every classic reading in order until one gives text, then, when none did
// and the options allow it (or every symbol is wanted, or eye patterns show
// another symbol), the thorough search; a picture too wide for the classic
// readings gets the search alone.
void exhaustive_readings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options,
                         vantor_results &results);

} // namespace vantor
