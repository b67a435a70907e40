// The steps of a reentrant decode call that the plan orders: the classic
// readings, the thorough search and the search for more symbols. Each adds
// to the call's results.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "api_types.h"
#include "3_model2/classic/bitmap.h"
#include "3_model2/classic/decode_entry.h"
#include "search.h"

namespace vantor {

// The last of the seven classic binarisation passes.
constexpr int last_classic_pass = 6;

// An eye pattern candidate of a classic pass with its consistency score (the
// search's own candidates are scored by the rows that found them).
struct ClassicCandidate {
    thorough::Candidate at;
    int score;
};

// The classic readings of a picture (pixels laid out row after row), run in
// steps: each step runs the passes after those run before through a last
// pass, until one gives exact text; each reading joins the results, and so
// do the symbol and the reason. The eye pattern candidates of the passes
// are pooled, for the search.
class ClassicReadings {
public:
    ClassicReadings(const std::uint8_t *pixels, int width, int height, int depth, const vantor_options &options);
    ~ClassicReadings();
    ClassicReadings(const ClassicReadings &) = delete;
    ClassicReadings &operator=(const ClassicReadings &) = delete;

    // Runs the passes not yet run through `last_pass`.
    void run_through(int last_pass, Found &results);
    // Whether passes remain and no reading gave text.
    bool more() const;
    const std::vector<ClassicCandidate> &pool() const { return pool_; }

private:
    std::unique_ptr<DecoderState> state_;
    std::unique_ptr<PassLoop> loop_;
    std::vector<ClassicCandidate> pool_;
    bool unsupported_ = false;       // the furthest reading met a mode the classic rules refuse
    bool plausible_symbol_ = false; // some reading was a plausible symbol
};

// The pooled candidates strongest first (by the classic consistency score),
// the order in which the search takes as many as it keeps.
std::vector<thorough::Candidate> strongest_first(std::vector<ClassicCandidate> pool);

// Adds what the thorough search found that is not already there: the first
// symbol, or every one; with `model1`, triples whose Model 2 reading failed
// are read as Model 1 too; with `dim`, a dim picture is binarised for its
// faint edges last. Results with a symbol then say so in their reason and
// stage. `plain` is the picture's binarisation and row matches when a look
// before made them; `memory`, when given, keeps what the search made for
// the next search of the picture and gives it what one before made.
void search_symbols(const std::uint8_t *pixels, int width, int height,
                    std::span<const thorough::Candidate> pool, bool all_symbols, bool model1,
                    Found &results, std::optional<thorough::ScannedView> plain = std::nullopt,
                    thorough::SearchMemory *memory = nullptr, bool dim = false);

// Which reading of a symbol read twice stands.
enum class Keep { earlier, newer };

// Where the symbol added last is one listed before it, one of the two
// readings is dropped: the symbol is listed once.
void drop_repeat(Found &results, Keep keep);

// Whether the passes saw, outside the symbol, eye pattern candidates enough
// for another one: three at places apart (candidates a pass finds inside a
// symbol's data, or the same eye again on a later pass, do not count).
bool eyes_for_more(std::span<const ClassicCandidate> pool, const vantor_symbol &symbol);

// Whether the passes run so far saw the eye patterns of every symbol read:
// three candidates inside each. When they did not, their binarisation
// misses eye patterns in this picture, and may miss every eye pattern of
// another symbol.
bool passes_saw_symbols(std::span<const ClassicCandidate> pool, std::span<const std::unique_ptr<OwnedSymbol>> symbols);

// When one symbol was read and not every symbol is asked for, but the
// passes saw eye patterns enough for a second, searches for every symbol,
// so that the first in reading order can be chosen.
void search_for_more(const std::uint8_t *pixels, int width, int height, const vantor_options &options,
                     std::vector<ClassicCandidate> pool, Found &results,
                     thorough::SearchMemory *memory = nullptr);

// Whether the classic readings can take a picture of this size (their run
// lengths are 16 bits).
inline bool classic_fits(int width, int height) { return width <= max_side && height <= max_side; }

} // namespace vantor
