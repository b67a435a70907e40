// The eye pattern candidates of one binarisation as the search keeps them,
// and the first test a triple of them meets: its eye patterns must stand out
// from the grey around them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#include "1_base/function_ref.h"
#include "2_image/alignment.h"
#include "2_image/eye_scan.h"
#include "grids.h"
#include "2_image/image.h"
#include "2_image/projective.h"
#include "triples.h"

namespace vantor::thorough {

// The candidates of one binarisation and what the search knows of each.
struct Pool {
    std::vector<Candidate> at;
    std::vector<double> quality;
    std::vector<int> used;       // part of a symbol read
    std::vector<char> synthetic; // placed by completion, not found by the scan
    std::vector<std::optional<std::vector<Position>>> traced; // outline points, when needed
    std::unordered_set<std::uint64_t> judged; // triples given to the contrast test, by their candidates and corner
    double min_contrast = min_eye_contrast;    // the least an eye pattern of a triple or pair must stand out

    void add(const Candidate &c, double q, bool made);
};

// The candidates of a scan (`scanned`, as merge_matches gives them) seen by
// at least two scan lines, each with its quality: the share of the scan
// lines through its 3-module centre that found it. Scanning every
// `row_step`th row, each line found stands for that many.
Pool scanned_pool(std::span<const ScoredCandidate> scanned, int row_step);

// Adds candidates from elsewhere (the classic passes), strongest first, at
// most `limit` distinct ones, none within 1.5 modules of one already there.
void add_pooled(Pool &pool, std::span<const Candidate> more, int limit);

// A triple oriented, its eye patterns outlined, and the contrast of its
// weakest real eye pattern in grey levels.
struct StandingEyes {
    Eyes eyes;
    double contrast = 0;
};

// How the triples of a pool are formed: of every three candidates (a pool
// of the strongest few), the best `max_other_corners` of the same with
// another corner, or of each candidate with its nearest (a pool of many,
// from a picture of many symbols).
enum class Formation { every, other_corners, nearest };

// Calls `on` with the triples of the pool's unused candidates, best first,
// formed as `formation` says and not judged before in this pool, that pass
// the geometric gates, hold no synthetic candidate or (`completing`)
// exactly one, and whose eye patterns found by the scan each stand out by
// the pool's `min_contrast` (a synthetic one was matched by template
// already); outlines are traced once per candidate. Stops when `on` returns
// true, and returns whether it did.
bool for_each_standing(const GreyView &grey, const Binary &binary, Pool &pool, bool completing,
                       FunctionRef<bool(const Triple &, StandingEyes &)> on, Formation formation = Formation::every);

// Whether two candidates of the pool found by the scan, of like size and as
// far apart as two eye patterns of one symbol, could be two of a symbol's:
// `measured`, when both stand out by the search's minimum contrast with the
// pair taken as a side of the symbol or as its diagonal (strong noise breaks
// up the scan lines through a faint symbol's eye patterns, so few count
// towards their quality, and may defeat the template that places a third);
// else when both are strong (quality at least 0.5).
bool pair_of_eyes(const GreyView &grey, const Pool &pool, bool measured);
// The same, taking only a pair for which `also` holds too.
bool pair_of_eyes(const GreyView &grey, const Pool &pool, bool measured,
                  FunctionRef<bool(const Candidate &, const Candidate &)> also);

// The least contrast of an eye pattern in a dim picture (see dim_picture),
// sharpened: half the usual.
constexpr double dim_min_contrast = min_eye_contrast / 2;

// Triples with another corner formed at most: as many as a search tries.
// Noise and stripes give hundreds, which cost their contrast tests.
constexpr int max_other_corners = 60;

// Gated triples considered per binarisation; a triple whose eye patterns
// fail the contrast test costs little and does not count as tried.
constexpr int max_gated = 4000;
// Third eyes placed by completion per binarisation, and their quality.
constexpr int max_completions = 12;
constexpr double completed_quality = 0.5;

} // namespace vantor::thorough
