// The module grids one eye pattern triple allows for a version: from the
// eye outlines, from the eye centres and the lower-right alignment pattern,
// per cell between all alignment patterns, and from the centres alone.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "2_image/image.h"
#include "2_image/sampling.h"
#include "1_base/symbol_tables.h"
#include "2_image/eye_scan.h"

namespace vantor::thorough {

// A triple oriented as the symbol appears, with the directions of its rows
// and columns and the outline of each eye pattern where one was found.
struct Eyes {
    Candidate corner, along, down;
    Position row_dir, col_dir; // unit vectors, corner towards along and towards down
    double slant = 1;       // how much longer a turned eye looks along image axes
    std::optional<std::array<Position, 4>> outline[3]; // corner, along, down
    bool operator==(const Eyes &) const = default;
};

// The triple with its directions, outlines not yet traced; nothing when two
// centres coincide.
std::optional<Eyes> orient_eyes(const Candidate &corner, const Candidate &along, const Candidate &down);
// The eye pattern points of a symbol n modules a side with their places in
// the picture: for the corner, along and down eye in turn, its outline's
// four corners (where fitted), then its centre.
std::vector<std::pair<Position, Position>> eye_points(const Eyes &eyes, int n);
// Fits the outline of eye pattern k (0 corner, 1 along, 2 down) to its traced points
// (trace_eye).
void outline_eye(const std::vector<Position> &traced, Eyes &eyes, int k);

// The contrast of eye pattern k, measured through its outline when fitted,
// else with its own module size, then the triple's mean, along the symbol's
// rows and columns; grey levels, 0 when its rings do not stand out from
// their own spread.
double eye_pattern_contrast(const GreyView &grey, const Eyes &eyes, int k);

// Modules across the symbol as the eyes measure it (their outlines where
// found, else their centres and module sizes).
double eyes_modules_across(const Eyes &eyes);

// Timing modules nearest the eye patterns that judge the first guess of a
// symbol `size` modules across: 16 for a large symbol (version 7 and up),
// whose map is sure near the eyes and drifts (under perspective) with the
// distance from them, until alignment patterns correct it; 0 (all of them)
// for a smaller one.
constexpr int guess_timing_reach(int size) { return size >= symbol_size(7) ? 16 : 0; }

// Versions to try for a triple measuring `across` modules, nearest first.
std::vector<int> versions_near(double across);

// The first guess of a grid from the eyes alone, with the share of its
// timing pattern modules that read right: of the fit through the eye
// outlines (which follows perspective, but whose small errors grow across a
// large symbol) and the map through the centres, the one whose timing
// patterns read better.
struct Guess {
    Grid grid;
    double timing = 0;
};
std::optional<Guess> first_guess(const GreyView &grey, const Binary &binary, const Eyes &eyes, int version);

// The first guesses of one triple, each version's made once: the version
// information, the Model 2 grids and the Model 1 reading of a triple start
// from the same guesses. A guess given stays valid while the Guesses lives.
class Guesses {
public:
    Guesses(const GreyView &grey, const Binary &binary, const Eyes &eyes) : grey_(grey), binary_(binary), eyes_(eyes) {}
    const std::optional<Guess> &of(int version);

private:
    const GreyView &grey_;
    const Binary &binary_;
    const Eyes &eyes_;
    std::deque<std::pair<int, std::optional<Guess>>> made_; // stays where made as more are added
};

// The grids to try for the guess's version, best first: through the eye
// centres and the lower-right alignment pattern found near where the guess
// puts it (per cell between all alignment patterns from version 7), then the
// maps from the eyes alone.
std::vector<Grid> grids_for(const GreyView &grey, const Eyes &eyes, const Guess &guess, double contrast);

} // namespace vantor::thorough
